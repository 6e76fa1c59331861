// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "historymodel.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace halcyra {
class ArchiveThread;
}

namespace halcyra::history {

// What a History view learns from its archive at one step.
struct FeedUpdate {
    // Fields loaded whole: asked for, or the archive has just appeared.
    std::vector<Track> loaded;
    // Records archived since the last step, per field, in any order (see addSamples).
    std::vector<std::pair<int, std::vector<archive::FieldSample>>> added;
    // What the view's note should say of the archive now; nothing: unchanged.
    std::optional<QString> note;
};

// The History view's reading of an archive, without a widget: it opens the
// archive once it exists, loads a field whole when asked, and at each poll
// reads only the records archived since, cheaply when there are none. Used
// by one thread at a time.
class HistoryFeed {
public:
    explicit HistoryFeed(std::string location, std::chrono::milliseconds busyTimeout = std::chrono::seconds(5));

    // Loads the field, and reads its new records at each poll from now on.
    FeedUpdate watch(int field);
    void unwatch(int field);
    FeedUpdate poll();

    // The archive once open, for the read-out and the export; else null.
    archive::Archive *archive() { return archive_.get(); }

private:
    bool open(FeedUpdate &update);
    void load(int field, FeedUpdate &update);

    std::string location_;
    std::chrono::milliseconds busyTimeout_;
    std::unique_ptr<archive::Archive> archive_;
    std::uint64_t lastMark_ = 0;
    std::vector<std::pair<int, std::int64_t>> watched_; // each field and the largest id read of it
};

// A HistoryFeed in a thread of its own, so that a server that is slow or
// gone, or a lock another program holds, never freezes the window: the
// window asks, and receives updated() when the answer is there.
class HistoryReader : public QObject {
    Q_OBJECT
public:
    explicit HistoryReader(std::string location, QObject *parent = nullptr);
    ~HistoryReader() override;

    void watch(int field);
    void unwatch(int field);
    // A poll while the last one is under way is left out.
    void poll();
    // The frame time and station of a point, given to `done` here.
    void details(int field, const archive::FieldSample &sample, std::function<void(const PointDetails &)> done);
    // The CSV export of writeCsv() into `path`, replaced whole or left as it
    // was; `done` gets an empty text or why not.
    void exportCsv(const QString &path, const std::vector<int> &fields, XAxis axis, const Span &span,
                   std::function<void(const QString &)> done);

    // Questions not answered yet.
    std::size_t unanswered() const { return asked_.size(); }
    // How long the oldest question not answered yet has waited; zero when none waits.
    std::chrono::milliseconds waiting() const;

signals:
    void updated(const halcyra::history::FeedUpdate &update);

private:
    void ask(std::function<FeedUpdate(HistoryFeed &)> question);

    std::shared_ptr<HistoryFeed> feed_; // used by the thread's jobs only
    std::unique_ptr<ArchiveThread> thread_;
    std::deque<std::chrono::steady_clock::time_point> asked_; // of the questions not answered yet
    bool polling_ = false;
};

} // namespace halcyra::history
