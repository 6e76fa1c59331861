// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "alarmcommand.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace halcyra {

AlarmCommand::AlarmCommand(std::string_view commandLine)
{
    std::size_t at = 0;
    while (at < commandLine.size()) {
        const std::size_t start = commandLine.find_first_not_of(" \t", at);
        if (start == commandLine.npos)
            break;
        const std::size_t end = std::min(commandLine.find_first_of(" \t", start), commandLine.size());
        arguments_.emplace_back(commandLine.substr(start, end - start));
        at = end;
    }
}

namespace {

// The station's environment, with HALCYRA_* replaced by `variables`: a value
// left over from whoever started the station must not pass for the alarm's.
std::vector<std::string> environmentWith(const AlarmCommand::Variables &variables)
{
    std::vector<std::string> entries;
    for (char **e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "HALCYRA_", 8) != 0)
            entries.emplace_back(*e);
    }
    for (const auto &[name, value] : variables)
        entries.push_back(name + "=" + value);
    return entries;
}

std::vector<char *> pointers(std::vector<std::string> &texts)
{
    std::vector<char *> list;
    for (std::string &text : texts)
        list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

// The station blocks its ending signals to read them from a descriptor; the
// command gets them back, and the default actions, as any program expects.
class SpawnAttributes {
public:
    SpawnAttributes()
    {
        ::posix_spawnattr_init(&attributes_);
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD})
            sigaddset(&defaults, signal);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;
    const posix_spawnattr_t *get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

} // namespace

std::optional<std::string> AlarmCommand::run(const Variables &variables)
{
    if (running_.size() >= kMostRunning)
        return std::to_string(running_.size()) + " earlier alarms are still running";
    std::vector<std::string> arguments = arguments_;
    std::vector<std::string> environment = environmentWith(variables);
    const std::vector<char *> argv = pointers(arguments);
    const std::vector<char *> envp = pointers(environment);
    const SpawnAttributes attributes;
    pid_t pid = 0;
    if (const int error = ::posix_spawnp(&pid, argv[0], nullptr, attributes.get(), argv.data(), envp.data()))
        return std::string(std::strerror(error));
    running_.push_back(pid);
    return std::nullopt;
}

void AlarmCommand::reap(const std::function<void(const std::string &)> &onFailure)
{
    std::erase_if(running_, [&](pid_t pid) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == 0)
            return false;
        if (done < 0)
            return errno != EINTR;
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            onFailure("exit status " + std::to_string(WEXITSTATUS(status)));
        else if (WIFSIGNALED(status))
            onFailure("ended by signal " + std::to_string(WTERMSIG(status)));
        return true;
    });
}

} // namespace halcyra
