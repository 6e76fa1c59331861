// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// What the station tells the service manager that started it (systemd's
// notification protocol, through libsystemd). Run any other way, from a shell
// or a test, every call does nothing and succeeds.
//
// Each call returns false only when a manager was named (NOTIFY_SOCKET) and
// the message could not be delivered: with Type=notify the manager would then
// wait for a readiness that never arrives, so the caller should say so.
class ServiceManager {
public:
    // Reads the watchdog's settings once: they belong to this process, and
    // WATCHDOG_PID keeps a child that inherited them from sending keep-alives.
    ServiceManager();

    // The start-up is over (the log as it stood is archived); `status` is the
    // line that `systemctl status` shows.
    bool ready(std::string_view status);
    bool status(std::string_view text);
    bool stopping();

    // How often keepAlive() must be called: half the manager's WatchdogSec, so
    // that one late keep-alive is no restart. Empty without a watchdog.
    std::optional<std::chrono::milliseconds> keepAliveInterval() const { return keepAliveInterval_; }
    bool keepAlive();

private:
    std::optional<std::chrono::milliseconds> keepAliveInterval_;
};

} // namespace halcyra
