// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "servicemanager.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

namespace halcyra {

namespace {

// sd_notify answers 0 when no manager listens and a negative errno when the
// message did not reach it.
bool notify(const std::string &assignments)
{
    return sd_notify(0, assignments.c_str()) >= 0;
}

// The protocol's assignments are separated by line ends, so a line end inside
// the text would end STATUS= and start an assignment of its own (READY=1 out
// of a log line); a NUL would cut the message short.
std::string statusAssignment(std::string_view text)
{
    std::string line = "STATUS=";
    line.reserve(line.size() + text.size());
    for (char c : text)
        line += (c == '\n' || c == '\r' || c == '\0') ? ' ' : c;
    return line;
}

} // namespace

ServiceManager::ServiceManager()
{
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
        // At least a millisecond, so that a caller's timer never spins.
        keepAliveInterval_ = std::chrono::milliseconds(std::max<std::uint64_t>(usec / 2000, 1));
    }
}

bool ServiceManager::ready(std::string_view status)
{
    return notify("READY=1\n" + statusAssignment(status));
}

bool ServiceManager::status(std::string_view text)
{
    return notify(statusAssignment(text));
}

bool ServiceManager::stopping()
{
    return notify("STOPPING=1");
}

bool ServiceManager::keepAlive()
{
    return notify("WATCHDOG=1");
}

} // namespace halcyra
