// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "healthfeed.h"
#include "healthmodel.h"

#include <QDockWidget>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QLabel;
class QTableView;

namespace halcyra {
class ArchiveThread;
}

namespace halcyra::health {

class HealthTable;

// View > Health: how every field stands, as frames arrive. It reads the log
// box's frames only while it is shown (and the whole text again when it is
// shown anew), and the archive's last 24 hours in a thread of its own, when
// it is shown and then whenever the archive has changed, at most once a
// minute: a server that is slow or gone never holds up the window.
class HealthDock : public QDockWidget {
    Q_OBJECT
public:
    // The log box's text as it is now, and whether the log is followed.
    struct LogSource {
        std::function<std::string_view()> text;
        std::function<bool()> following;
    };

    explicit HealthDock(LogSource source, QWidget *parent = nullptr);
    ~HealthDock() override;

    // The archive whose last 24 hours count too; empty: none.
    void setArchive(std::string location);
    // The limits the states are told against, and what to say of them
    // (why a limits file was refused); empty: nothing to say.
    void setLimits(const Limits &limits, const QString &note);
    // The log box changed from `changedFrom` on.
    void logChanged(std::size_t changedFrom);

    const HealthModel &model() const { return model_; }
    QTableView *table() const { return view_; }
    QLabel *ages() const { return ages_; }

signals:
    // The user closed the dock with its own button.
    void closedByUser();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct ArchiveReader;

    void tick();
    void readArchive(bool always);
    void showAges(UtcMillis now);
    void showNote();
    void sizeColumns();

    LogSource source_;
    HealthModel model_;
    HealthFeed feed_;
    HealthTable *table_;
    QTableView *view_;
    QLabel *ages_;
    QLabel *note_;
    QTimer tick_;
    bool stale_ = true; // frames came while hidden: read the whole text when shown
    QString limitsNote_, archiveNote_;
    std::string location_;
    std::shared_ptr<ArchiveReader> reader_; // used by the thread's jobs only
    std::unique_ptr<ArchiveThread> thread_;
    bool asking_ = false;
    std::chrono::steady_clock::time_point asked_{};
};

} // namespace halcyra::health
