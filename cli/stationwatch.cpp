// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "stationwatch.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr std::uint32_t kFolderEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                        IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr std::uint32_t kFileEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

sigset_t endingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&set, s);
    return set;
}

} // namespace

StationWatch::StationWatch(const std::string &log) : log_(log)
{
    const std::filesystem::path path(log.empty() ? "." : log);
    folder_ = path.has_parent_path() ? path.parent_path().string() : ".";
    name_ = path.filename().string();
    const sigset_t set = endingSignals();
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0 ||
        (signal_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC)) < 0)
        throw std::system_error(errno, std::generic_category(), "cannot take signals");
    // Without inotify (a system that limits its instances) the poll reads.
    // A TNC is no file: nothing to watch.
    if (!log.empty())
        notify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    watchFolder();
}

StationWatch::~StationWatch()
{
    if (notify_ >= 0)
        ::close(notify_);
    ::close(signal_);
    const sigset_t set = endingSignals();
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

int StationWatch::takeSignal()
{
    signalfd_siginfo info{};
    return ::read(signal_, &info, sizeof info) == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo)
                                                                                    : 0;
}

bool StationWatch::takeChanges()
{
    if (notify_ < 0)
        return false;
    alignas(inotify_event) std::array<char, 16 * 1024> buffer;
    bool concerned = false;
    for (;;) {
        const ssize_t n = ::read(notify_, buffer.data(), buffer.size());
        if (n <= 0)
            return concerned;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW)
                concerned = true;
            if (event->mask & IN_IGNORED) {
                if (event->wd == folderWatch_)
                    folderWatch_ = -1;
                if (event->wd == fileWatch_)
                    fileWatch_ = -1;
                concerned = true;
                continue;
            }
            if (event->wd == folderWatch_ && (event->mask & IN_MOVE_SELF)) {
                // The folder moved away: the path names another one, or none.
                ::inotify_rm_watch(notify_, folderWatch_);
                folderWatch_ = -1;
                concerned = true;
            }
            if (event->wd == fileWatch_ || (event->wd == folderWatch_ && event->len > 0 && name_ == event->name))
                concerned = true;
        }
    }
}

void StationWatch::watchFolder()
{
    if (notify_ < 0 || folderWatch_ >= 0)
        return;
    folderWatch_ = ::inotify_add_watch(notify_, folder_.c_str(), kFolderEvents);
}

void StationWatch::watchFile()
{
    if (notify_ < 0)
        return;
    // The same file gives the same watch; a new one replaces the old watch's
    // use, and the old one ends with its file.
    const int watch = ::inotify_add_watch(notify_, log_.c_str(), kFileEvents);
    if (watch >= 0)
        fileWatch_ = watch;
}

std::int64_t monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const char *endingSignalName(int signal)
{
    return signal == SIGTERM ? "SIGTERM" : signal == SIGINT ? "SIGINT" : "SIGHUP";
}

} // namespace halcyra
