// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace halcyra {

// The station's --on-alarm: a program run at each change of state, with
// what changed in its environment. The command line is split at blanks and
// run directly, never by a shell, so nothing in a value or a field name can
// become a command. The station does not wait for it: a slow mail relay must
// not hold up the archive.
class AlarmCommand {
public:
    using Variables = std::vector<std::pair<std::string, std::string>>;

    // Commands still running beyond this are not started: a field that
    // flaps faster than its alarm's program ends would otherwise fill the
    // process table.
    static constexpr std::size_t kMostRunning = 16;

    explicit AlarmCommand(std::string_view commandLine);
    bool empty() const { return arguments_.empty(); }
    const std::string &program() const { return arguments_.front(); }

    // Starts the command with `variables` added to the station's own
    // environment; the reason when it could not be started.
    std::optional<std::string> run(const Variables &variables);
    // Collects the commands that ended; `onFailure` hears of each one that
    // failed, as "exit status N" or "ended by signal N".
    void reap(const std::function<void(const std::string &)> &onFailure);
    std::size_t running() const { return running_.size(); }

private:
    std::vector<std::string> arguments_;
    std::vector<pid_t> running_;
};

} // namespace halcyra
