// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// A timing program for the unattended station (halcyra-decode --follow):
//
//   station_bench latency PROGRAM ARCHIVE [FRAMES]
//       writes FRAMES frames (default 100) one at a time into a new log, at
//       random pauses, and times each from its write to its row in ARCHIVE
//   station_bench idle PROGRAM ARCHIVE [SECONDS]
//       the CPU the station takes while it waits for frames (default 30 s)
//   station_bench memory PROGRAM ARCHIVE LOG
//       follows LOG written anew at full speed, then says the station's
//       peak resident memory
//   station_bench start PROGRAM ARCHIVE LOG
//       the time from the start to READY on LOG (archive it first for the
//       figure of a restart)
//
// ARCHIVE is a file or a postgresql:// URI; the program is started with
// --follow LOG --archive=ARCHIVE and its messages go to station_bench.err.

#include "archive.h"
#include "stationtiming.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace halcyra;
using namespace halcyra::timing;

namespace {

pid_t startStation(const std::string &program, const std::string &log, const std::string &archive,
                   const std::string &notify = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open("station_bench.err", O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(err, STDERR_FILENO);
        if (!notify.empty())
            ::setenv("NOTIFY_SOCKET", notify.c_str(), 1);
        ::execl(program.c_str(), program.c_str(), "--follow", log.c_str(), ("--archive=" + archive).c_str(),
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    return pid;
}

void stopStation(pid_t pid)
{
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

int latency(const std::string &program, const std::string &archive, int frames)
{
    const std::string log = "station_bench.log";
    std::ofstream(log, std::ios::trunc).flush();
    std::mt19937_64 random(std::random_device{}());
    const pid_t pid = startStation(program, log, archive);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::vector<double> ms;
    std::uint64_t count = archivedFrames(archive);
    for (int i = 0; i < frames; ++i) {
        const Clock::time_point written = Clock::now();
        std::ofstream(log, std::ios::app) << "2026-12-07 10:00:00.000 UTC\r\n" << uniqueT1Frame(random) << "\r\n";
        while (archivedFrames(archive) == count && msSince(written) < 10'000)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ms.push_back(msSince(written));
        ++count;
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 250));
    }
    stopStation(pid);
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * static_cast<double>(ms.size() - 1))]; };
    std::printf("latency over %d frames: p50 %.0f ms, p95 %.0f ms, max %.0f ms\n", frames, at(0.5), at(0.95),
                ms.back());
    return 0;
}

// User and system time of a process in clock ticks.
long cpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

int idle(const std::string &program, const std::string &archive, int seconds)
{
    const std::string log = "station_bench.log";
    std::ofstream(log, std::ios::trunc).flush();
    const pid_t pid = startStation(program, log, archive);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long before = cpuTicks(pid);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long ticks = cpuTicks(pid) - before;
    stopStation(pid);
    std::printf("idle CPU over %d s: %ld ticks, %.3f %% of a core\n", seconds, ticks,
                100.0 * static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)) / seconds);
    return 0;
}

std::string peakMemory(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return line.substr(6);
    }
    return "?";
}

int memory(const std::string &program, const std::string &archive, const std::string &source)
{
    const std::string log = "station_bench.log";
    std::ofstream(log, std::ios::trunc).flush();
    const pid_t pid = startStation(program, log, archive);
    std::ifstream in(source, std::ios::binary);
    std::string line;
    std::uint64_t lines = 0;
    {
        std::ofstream out(log, std::ios::app | std::ios::binary);
        while (std::getline(in, line)) {
            out << line << '\n';
            if (++lines % 500 == 0) {
                out.flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    std::printf("peak resident memory after following %llu lines: %s\n", static_cast<unsigned long long>(lines),
                peakMemory(pid).c_str());
    stopStation(pid);
    return 0;
}

int start(const std::string &program, const std::string &archive, const std::string &log)
{
    // The service manager's socket is named by an absolute path.
    const std::string path = (std::filesystem::current_path() / "station_bench.notify").string();
    ::unlink(path.c_str());
    const int sock = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        return 1;
    const Clock::time_point begun = Clock::now();
    const pid_t pid = startStation(program, log, archive, path);
    char buffer[4096];
    for (ssize_t n; (n = ::recv(sock, buffer, sizeof buffer, 0)) > 0;) {
        if (std::string(buffer, static_cast<std::size_t>(n)).find("READY=1") != std::string::npos)
            break;
    }
    std::printf("start to READY: %.0f ms\n", msSince(begun));
    stopStation(pid);
    ::close(sock);
    ::unlink(path.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() >= 3 && a[0] == "latency")
        return latency(a[1], a[2], a.size() > 3 ? std::atoi(a[3].c_str()) : 100);
    if (a.size() >= 3 && a[0] == "idle")
        return idle(a[1], a[2], a.size() > 3 ? std::atoi(a[3].c_str()) : 30);
    if (a.size() == 4 && a[0] == "memory")
        return memory(a[1], a[2], a[3]);
    if (a.size() == 4 && a[0] == "start")
        return start(a[1], a[2], a[3]);
    std::fputs("usage: station_bench latency|idle PROGRAM ARCHIVE [N]\n"
               "       station_bench memory|start PROGRAM ARCHIVE LOG\n",
               stderr);
    return 2;
}
