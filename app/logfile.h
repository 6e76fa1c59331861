// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "logbuffer.h"
#include "logtail.h"

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <string_view>

class QMimeData;

namespace halcyra {

// The largest log the window takes: far beyond any pass (a full day of
// frames is a few MB), small enough that each re-parse stays quick.
inline constexpr qint64 kLogSizeLimit = 50LL * 1024 * 1024;
// The longest line the window takes, as the batch decoder: laid out in the
// log box, a log without line ends would hold up the window for seconds.
inline constexpr qint64 kLineLengthLimit = 1 << 20;

struct LogRead {
    LogBytes text;  // the file's bytes, as the log box holds them
    QString reason; // why the file was refused, for "Cannot open FILE: reason"; empty when read
    TailStamp stamp;
};

// Reads a whole log for the log box, to its end rather than to the size the
// file reports (pseudo-files report none). Refuses what is not a regular file,
// what cannot be read, what is larger than `limit`, what holds NUL bytes (not
// a text log: a binary file, a UTF-16 text) and what holds a line longer than
// kLineLengthLimit.
LogRead readLogFile(const QString &path, qint64 limit = kLogSizeLimit);

// The local file a drag carries, when it carries exactly one; otherwise empty.
QString droppedLogFile(const QMimeData *data);

// Watches the opened log and hands over what the receiving software appends.
// Notification comes from the file system where it offers it; a poll every
// second covers the file systems that do not (network shares).
class LogFollower : public QObject {
    Q_OBJECT
public:
    explicit LogFollower(QObject *parent = nullptr);

    // The file just read into the log box; following goes on from its end.
    // While following, switches to the new file.
    void setFile(const QString &path, const LogRead &read);
    const QString &path() const { return path_; }

    void start();
    void stop();
    bool isFollowing() const { return following_; }

    // Looks at the file now; the watcher and the poll call this.
    void check();

    // Without notification only the poll reads the file, as on a network share.
    void setNotifications(bool on);

signals:
    void appended(std::string_view text); // bytes added at the end of the file
    void reloaded(std::string_view text); // the whole file, after truncation or replacement
    void stopped(const QString &reason);

private:
    void finish(const QString &reason);
    void watchPath();
    QString native() const;

    QString path_;
    // The rules of following; the follower only drives them.
    std::optional<LogTail> tail_;
    bool following_ = false;
    bool notifications_ = true;
    QElapsedTimer clock_;
    QFileSystemWatcher watcher_;
    QTimer poll_;
    QTimer soon_;
};

} // namespace halcyra
