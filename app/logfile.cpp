// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logfile.h"

#include "lines.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

#include <sys/stat.h>

namespace halcyra {

namespace {

// Every change of the file runs at most one check per this interval, however
// often the receiving software writes.
constexpr int kCoalesceMs = 50;
constexpr int kPollMs = 1000;
// Log rotation by renaming leaves the path empty for a moment; only a file
// that stays away this long has gone.
constexpr qint64 kMissingGraceMs = 500;
// A file truncated and written again between two looks has the same inode
// and may have grown: its first and last bytes handed over tell it apart. A
// rewritten log (time stamps, counters) does not match 4 KiB of each by chance.
constexpr qsizetype kSampleBytes = 4096;
constexpr qint64 kReadChunk = 64 * 1024;
static_assert(kLineLengthLimit == 1 << 20, "the messages name the limit");

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// The longest line of `text`, whose first line continues one of `open`
// bytes, and the length of its last line while it has no line end.
struct LineLengths {
    qint64 longest = 0;
    qint64 last = 0;
};
LineLengths lineLengths(std::string_view text, qint64 open = 0)
{
    LineLengths r;
    const std::string_view rest = forEachCompleteLine(text, [&](std::string_view line) {
        r.longest = std::max(r.longest, open + static_cast<qint64>(line.size()));
        open = 0;
    });
    r.last = open + static_cast<qint64>(rest.size());
    r.longest = std::max(r.longest, r.last);
    return r;
}

qint64 lastLineLength(std::string_view text)
{
    const std::size_t end = text.find_last_of("\r\n");
    return static_cast<qint64>(end == std::string_view::npos ? text.size() : text.size() - end - 1);
}

FileStamp stampOf(const struct stat &st)
{
    FileStamp s;
    s.exists = true;
    s.regular = S_ISREG(st.st_mode);
    s.device = static_cast<quint64>(st.st_dev);
    s.inode = static_cast<quint64>(st.st_ino);
    s.size = static_cast<qint64>(st.st_size);
    s.changed = static_cast<qint64>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    return s;
}

FileStamp stampOf(const QFile &file)
{
    struct stat st {};
    return ::fstat(file.handle(), &st) == 0 ? stampOf(st) : FileStamp{};
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 mb = 1024 * 1024;
    return bytes % mb == 0 ? QStringLiteral("%1 MB").arg(bytes / mb) : QStringLiteral("%1 bytes").arg(bytes);
}

bool holdsNul(std::string_view bytes)
{
    return bytes.find('\0') != std::string_view::npos;
}

} // namespace

FileStamp fileStampOf(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? stampOf(st) : FileStamp{};
}

LogRead readLogFile(const QString &path, qint64 limit)
{
    LogRead r;
    // Opening a FIFO would block the window until a writer comes; a folder or
    // a device is no log either.
    if (const FileStamp s = fileStampOf(path); s.exists && !s.regular) {
        r.reason = QStringLiteral("it is not a regular file");
        return r;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.reason = QStringLiteral("it cannot be read (%1)").arg(file.errorString());
        return r;
    }
    const qint64 seen = stampOf(file).size;
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
    if (holdsNul(bytes.view())) {
        r.reason = QStringLiteral("it holds NUL bytes, so it is not a text log");
        return r;
    }
    if (lineLengths(bytes.view()).longest > kLineLengthLimit) {
        r.reason = QStringLiteral("it holds a line longer than 1 MiB");
        return r;
    }
    // What follows is read from the end of what was read, not from the size
    // seen before reading; and a change seen later is one after the reading.
    r.stamp = stampOf(file);
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
    takeOver(read);
    missingFor_.invalidate();
    if (following_)
        watchPath();
}

void LogFollower::start()
{
    if (following_ || path_.isEmpty())
        return;
    following_ = true;
    missingFor_.invalidate();
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

void LogFollower::missing()
{
    if (!missingFor_.isValid())
        missingFor_.start();
    else if (missingFor_.elapsed() >= kMissingGraceMs)
        finish(native() + QStringLiteral(" has disappeared"));
}

void LogFollower::check()
{
    if (!following_)
        return;
    const FileStamp now = fileStampOf(path_);
    if (!now.exists) {
        missing();
        return;
    }
    missingFor_.invalidate();
    watchPath();
    if (!now.regular) {
        finish(native() + QStringLiteral(" is no longer a regular file"));
        return;
    }
    if (!now.sameFile(stamp_) || now.size < stamp_.size) {
        reload();
        return;
    }

    // Read also when the size is the same: a file rewritten to its old size
    // is told by its bytes.
    QFile file(path_);
    const auto cannotRead = [&] { finish(native() + QStringLiteral(" cannot be read (%1)").arg(file.errorString())); };
    if (!file.open(QIODevice::ReadOnly)) {
        cannotRead();
        return;
    }
    const FileStamp opened = stampOf(file);
    if (!opened.sameFile(stamp_) || opened.size < stamp_.size) {
        reload(); // replaced between the look and the opening
        return;
    }
    if (opened.size > kLogSizeLimit) {
        finish(native() + QStringLiteral(" has grown beyond %1").arg(sizeText(kLogSizeLimit)));
        return;
    }
    const QByteArray head = file.read(head_.size());
    const qint64 from = stamp_.size - tail_.size();
    QByteArray read;
    if (file.error() == QFileDevice::NoError && file.seek(from))
        read = file.read(opened.size - from);
    if (file.error() != QFileDevice::NoError) {
        cannotRead();
        return;
    }
    if (head != head_ || !read.startsWith(tail_)) {
        reload();
        return;
    }
    const QByteArray bytes = read.sliced(tail_.size());
    if (bytes.isEmpty()) {
        // Written to without growing: rewritten in place, where its ends are alike.
        if (opened.changed != stamp_.changed)
            reload();
        return;
    }
    if (holdsNul(view(bytes))) {
        finish(native() + QStringLiteral(" now holds NUL bytes, so it is no longer a text log"));
        return;
    }
    const LineLengths lines = lineLengths(view(bytes), lastLine_);
    if (lines.longest > kLineLengthLimit) {
        finish(native() + QStringLiteral(" now holds a line longer than 1 MiB"));
        return;
    }
    stamp_.size += bytes.size();
    stamp_.changed = opened.changed;
    lastLine_ = lines.last;
    head_ += bytes.left(kSampleBytes - head_.size());
    tail_ = read.right(kSampleBytes);
    emit appended(view(bytes));
}

void LogFollower::reload()
{
    const LogRead r = readLogFile(path_);
    if (!r.reason.isEmpty() && !fileStampOf(path_).exists) {
        missing(); // renamed away in the moment between the look and the reading
        return;
    }
    if (!r.reason.isEmpty()) {
        finish(native() + QStringLiteral(": ") + r.reason);
        return;
    }
    takeOver(r);
    emit reloaded(r.text.view());
}

void LogFollower::takeOver(const LogRead &read)
{
    stamp_ = read.stamp;
    const std::string_view text = read.text.view();
    const std::size_t sample = std::min(text.size(), static_cast<std::size_t>(kSampleBytes));
    head_ = QByteArray(text.data(), static_cast<qsizetype>(sample));
    tail_ = QByteArray(text.data() + text.size() - sample, static_cast<qsizetype>(sample));
    lastLine_ = lastLineLength(text);
}

} // namespace halcyra
