// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "historyfeed.h"

#include "archivethread.h"

#include <QSaveFile>

#include <algorithm>
#include <limits>

namespace halcyra::history {

namespace {

QString messageOf(const archive::ArchiveError &e)
{
    return QString::fromStdString(e.what());
}

// A window that closes while the archive does not answer goes at once; its
// thread ends when the archive answers or the connection times out.
constexpr int kReaderPatienceMs = 200;

} // namespace

HistoryFeed::HistoryFeed(std::string location, std::chrono::milliseconds busyTimeout)
    : location_(std::move(location)), busyTimeout_(busyTimeout)
{}

bool HistoryFeed::open(FeedUpdate &update)
{
    if (archive_)
        return true;
    try {
        archive_ = archive::openArchiveToRead(location_, busyTimeout_);
        lastMark_ = archive_->changeMark();
    } catch (const archive::ArchiveError &e) {
        archive_.reset();
        update.note = e.reason() == archive::ArchiveError::Reason::Missing
                          ? QStringLiteral("No archive yet at %1: its frames appear here once a log is added to it.")
                                .arg(QString::fromStdString(archive::displayLocation(location_)))
                          : messageOf(e);
        return false;
    }
    update.note = QString();
    // The archive has just appeared: whatever it holds is new.
    for (const auto &[field, lastId] : watched_)
        load(field, update);
    return true;
}

void HistoryFeed::load(int field, FeedUpdate &update)
{
    Track track;
    track.field = field;
    try {
        track = loadTrack(*archive_, field);
    } catch (const archive::ArchiveError &e) {
        update.note = messageOf(e);
    }
    for (auto &[f, lastId] : watched_)
        if (f == field)
            lastId = track.lastId;
    update.loaded.push_back(std::move(track));
}

FeedUpdate HistoryFeed::watch(int field)
{
    FeedUpdate update;
    if (std::none_of(watched_.begin(), watched_.end(), [&](const auto &w) { return w.first == field; }))
        watched_.emplace_back(field, 0);
    const bool wasOpen = archive_ != nullptr;
    if (!open(update))
        update.loaded.push_back(Track{field, {}, 0});
    else if (wasOpen)
        load(field, update);
    return update;
}

void HistoryFeed::unwatch(int field)
{
    std::erase_if(watched_, [&](const auto &w) { return w.first == field; });
}

FeedUpdate HistoryFeed::poll()
{
    FeedUpdate update;
    if (!archive_) {
        open(update);
        return update;
    }
    try {
        const std::uint64_t mark = archive_->changeMark();
        if (mark == lastMark_)
            return update;
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
            std::vector<std::size_t> ofKind; // into watched_
            std::int64_t after = std::numeric_limits<std::int64_t>::max();
            for (std::size_t i = 0; i < watched_.size(); ++i)
                if (storeOf(watched_[i].first) == kind) {
                    ofKind.push_back(i);
                    after = std::min(after, watched_[i].second);
                }
            if (ofKind.empty())
                continue;
            std::vector<std::vector<archive::FieldSample>> newer(ofKind.size());
            archive_->forEachRecordById(
                kind, after + 1, std::numeric_limits<std::int64_t>::max(), [&](const archive::StoredRecord &r) {
                    for (std::size_t k = 0; k < ofKind.size(); ++k)
                        if (const auto &[field, lastId] = watched_[ofKind[k]]; r.id > lastId)
                            newer[k].push_back({r.received, r.record.Values[static_cast<std::size_t>(field)], r.id});
                    return true;
                });
            for (std::size_t k = 0; k < ofKind.size(); ++k) {
                if (newer[k].empty())
                    continue;
                auto &[field, lastId] = watched_[ofKind[k]];
                for (const archive::FieldSample &s : newer[k])
                    lastId = std::max(lastId, s.id);
                update.added.emplace_back(field, std::move(newer[k]));
            }
        }
        // Only now: a read that failed is tried again at the next poll.
        lastMark_ = mark;
    } catch (const archive::ArchiveError &e) {
        update.note = messageOf(e);
    }
    return update;
}

HistoryReader::HistoryReader(std::string location, QObject *parent)
    : QObject(parent), feed_(std::make_shared<HistoryFeed>(std::move(location))),
      thread_(std::make_unique<ArchiveThread>(kReaderPatienceMs))
{}

HistoryReader::~HistoryReader() = default;

void HistoryReader::ask(std::function<FeedUpdate(HistoryFeed &)> question)
{
    asked_.push_back(std::chrono::steady_clock::now());
    thread_->post([feed = feed_, question = std::move(question)] { return question(*feed); },
                  [this](const FeedUpdate &update) {
                      asked_.pop_front();
                      emit updated(update);
                  });
}

void HistoryReader::watch(int field)
{
    ask([field](HistoryFeed &feed) { return feed.watch(field); });
}

void HistoryReader::unwatch(int field)
{
    thread_->post([feed = feed_, field] { feed->unwatch(field); });
}

void HistoryReader::poll()
{
    if (polling_)
        return;
    polling_ = true;
    ask([](HistoryFeed &feed) { return feed.poll(); });
    // Answered in order: the flag goes with the poll's answer.
    thread_->post([] { return 0; }, [this](int) { polling_ = false; });
}

void HistoryReader::details(int field, const archive::FieldSample &sample,
                            std::function<void(const PointDetails &)> done)
{
    asked_.push_back(std::chrono::steady_clock::now());
    thread_->post(
        [feed = feed_, field, sample] {
            PointDetails details{field, sample.value, sample.received, {}, {}};
            try {
                if (archive::Archive *store = feed->archive())
                    details = pointDetails(*store, field, sample);
            } catch (const archive::ArchiveError &) {
                // The read-out goes without the frame time and station.
            }
            return details;
        },
        [this, done = std::move(done)](const PointDetails &details) {
            asked_.pop_front();
            done(details);
        });
}

void HistoryReader::exportCsv(const QString &path, const std::vector<int> &fields, XAxis axis, const Span &span,
                              std::function<void(const QString &)> done)
{
    asked_.push_back(std::chrono::steady_clock::now());
    thread_->post(
        [feed = feed_, path, fields, axis, span]() -> QString {
            archive::Archive *store = feed->archive();
            if (!store)
                return QStringLiteral("There is no archive to export from.");
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                return path + QStringLiteral(": ") + file.errorString();
            try {
                if (!writeCsv(*store, fields, axis, span, file))
                    return path + QStringLiteral(": ") + file.errorString();
            } catch (const archive::ArchiveError &e) {
                return messageOf(e);
            }
            if (!file.commit())
                return path + QStringLiteral(": ") + file.errorString();
            return {};
        },
        [this, done = std::move(done)](const QString &error) {
            asked_.pop_front();
            done(error);
        });
}

std::chrono::milliseconds HistoryReader::waiting() const
{
    if (asked_.empty())
        return {};
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked_.front());
}

} // namespace halcyra::history
