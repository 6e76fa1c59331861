// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstdint>
#include <string>

namespace halcyra {

// What the station's loop waits for, as descriptors for poll(2): the signals
// that end it (SIGTERM, SIGINT, SIGHUP, taken from a signalfd so that they
// never interrupt a write half-way) and inotify's word that the log changed.
// The log's folder is watched, which sees the log created, renamed and
// written; and the log itself, which sees it written through a symbolic link.
// An empty log: the signals only. Throws std::system_error when the system
// refuses the descriptors.
class StationWatch {
public:
    explicit StationWatch(const std::string &log);
    ~StationWatch();
    StationWatch(const StationWatch &) = delete;
    StationWatch &operator=(const StationWatch &) = delete;

    int signalFd() const { return signal_; }
    // -1 where the system offers no notification: the loop's poll reads then.
    int notifyFd() const { return notify_; }

    // The signal that came, or 0.
    int takeSignal();
    // Reads every notification; true when one concerns the log.
    bool takeChanges();

    // Watches the folder again when it was missing or replaced.
    void watchFolder();
    // Watches the file the path names now (after a rotation, the new one).
    void watchFile();

private:
    std::string log_;
    std::string folder_;
    std::string name_;
    int signal_ = -1;
    int notify_ = -1;
    int folderWatch_ = -1;
    int fileWatch_ = -1;
};

// The monotonic clock in milliseconds, for the station loops' timers.
std::int64_t monotonicMs();
// "SIGTERM", "SIGINT" or "SIGHUP": the signals that end a station.
const char *endingSignalName(int signal);

} // namespace halcyra
