// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logfile.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace halcyra {

namespace {

// Every change of the file runs at most one check per this interval, however
// often the receiving software writes.
constexpr int kCoalesceMs = 50;
constexpr int kPollMs = 1000;
constexpr qint64 kReadChunk = 64 * 1024;

QString sizeText(qint64 bytes)
{
    constexpr qint64 mb = 1024 * 1024;
    return bytes % mb == 0 ? QStringLiteral("%1 MB").arg(bytes / mb) : QStringLiteral("%1 bytes").arg(bytes);
}

// The window's rules: a log that has gone ends following, after the moment
// a rotation by renaming leaves the path empty; the log box takes text logs
// only, of at most kLogSizeLimit, and all of a change at once.
LogTail::Policy windowPolicy()
{
    LogTail::Policy p;
    p.waitWhileMissing = false;
    p.missingGraceMs = 500;
    p.sizeLimit = kLogSizeLimit;
    p.textOnly = true;
    p.maxLineLength = kLineLengthLimit;
    p.readBudget = kLogSizeLimit + 1;
    return p;
}

// What one check hands over, for one signal: a file that was read again is
// shown whole, whatever came after it in the same check included.
class Collected : public TailSink {
public:
    void restarted() override
    {
        again = true;
        text = LogBytes();
    }
    void appended(std::string_view bytes) override { text.append(bytes); }

    bool again = false;
    LogBytes text;
};

} // namespace

LogRead readLogFile(const QString &path, qint64 limit)
{
    LogRead r;
    // Opening a FIFO would block the window until a writer comes; a folder or
    // a device is no log either.
    if (const TailStamp s = tailStampOf(QFile::encodeName(path).toStdString()); s.exists && !s.regular) {
        r.reason = QStringLiteral("it is not a regular file");
        return r;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.reason = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
        return r;
    }
    const qint64 seen = tailStampOf(file.handle()).size;
    if (seen > limit) {
        r.reason = QStringLiteral("it is larger than %1").arg(sizeText(limit));
        return r;
    }
    // To the end, not to the size seen: pseudo-files (/proc) report none, and
    // a file may grow while it is read. One byte beyond the limit tells a file
    // that is too large. Read straight into the box's own kind of memory: a
    // week-long log is never held twice.
    LogBytes bytes;
    for (qint64 want = std::min(seen, limit) + 1; want > 0 && file.error() == QFileDevice::NoError;
         want = std::min(kReadChunk, limit + 1 - static_cast<qint64>(bytes.size()))) {
        const std::size_t at = bytes.size();
        bytes.resize(at + static_cast<std::size_t>(want));
        const qint64 got = file.read(bytes.data() + at, want);
        bytes.resize(at + static_cast<std::size_t>(std::max<qint64>(got, 0)));
        if (got <= 0)
            break;
    }
    if (file.error() != QFileDevice::NoError) {
        r.reason = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
        return r;
    }
    if (static_cast<qint64>(bytes.size()) > limit) {
        r.reason = QStringLiteral("it is larger than %1").arg(sizeText(limit));
        return r;
    }
    if (const std::string why = textLogRefusal(bytes.view(), kLineLengthLimit); !why.empty()) {
        r.reason = QString::fromStdString(why);
        return r;
    }
    // What follows is read from the end of what was read, not from the size
    // seen before reading; and a change seen later is one after the reading.
    r.stamp = tailStampOf(file.handle());
    r.stamp.size = static_cast<qint64>(bytes.size());
    r.text = std::move(bytes);
    return r;
}

QString droppedLogFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return {};
    return urls.front().toLocalFile();
}

LogFollower::LogFollower(QObject *parent) : QObject(parent)
{
    clock_.start();
    poll_.setInterval(kPollMs);
    soon_.setSingleShot(true);
    soon_.setInterval(kCoalesceMs);
    connect(&poll_, &QTimer::timeout, this, &LogFollower::check);
    connect(&soon_, &QTimer::timeout, this, &LogFollower::check);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        if (!soon_.isActive())
            soon_.start();
    });
}

void LogFollower::setFile(const QString &path, const LogRead &read)
{
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    path_ = path;
    tail_.emplace(QFile::encodeName(path).toStdString(), windowPolicy());
    tail_->resumeAfter(read.text.view(), read.stamp);
    if (following_)
        watchPath();
}

void LogFollower::start()
{
    if (following_ || !tail_)
        return;
    following_ = true;
    tail_->resume();
    poll_.start();
    // Whatever arrived since the file was opened shows at once.
    check();
}

void LogFollower::stop()
{
    following_ = false;
    poll_.stop();
    soon_.stop();
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
}

void LogFollower::setNotifications(bool on)
{
    notifications_ = on;
    if (!on && !watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    else if (on && following_)
        watchPath();
}

void LogFollower::watchPath()
{
    // A replaced file is a new inode: the watch on the old one is gone.
    if (notifications_ && !watcher_.files().contains(path_) && QFile::exists(path_))
        watcher_.addPath(path_);
}

QString LogFollower::native() const
{
    return QDir::toNativeSeparators(path_);
}

void LogFollower::finish(const QString &reason)
{
    stop();
    emit stopped(reason);
}

void LogFollower::check()
{
    if (!following_)
        return;
    Collected got;
    if (tail_->check(clock_.elapsed(), got) == LogTail::State::Stopped) {
        // The reason names the path as the file system has it; the message, as the user does.
        const std::string &reason = tail_->stopReason();
        finish(native() + QString::fromStdString(reason.substr(tail_->path().size())));
        return;
    }
    watchPath();
    if (tail_->behind() && !soon_.isActive())
        soon_.start();
    if (got.again)
        emit reloaded(got.text.view());
    else if (!got.text.empty())
        emit appended(got.text.view());
}

} // namespace halcyra
