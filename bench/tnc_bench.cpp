// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// A timing program for the station on a TNC (halcyra-decode --follow kiss://):
//
//   tnc_bench PROGRAM ARCHIVE [FRAMES]
//       serves KISS on a free port of 127.0.0.1, starts PROGRAM --follow on
//       it with --archive=ARCHIVE, sends FRAMES telemetry frames (default
//       100) one at a time at random pauses, and times each from the moment
//       its last byte is on the socket to its row committed in ARCHIVE
//
// ARCHIVE is a file or a postgresql:// URI; the program's messages go to
// tnc_bench.err.

#include "archive.h"
#include "ax25frame.h"
#include "kissdeframer.h"
#include "stationtiming.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace halcyra;
using namespace halcyra::timing;

namespace {

// A T1 frame in KISS that no other run sent: the archive keeps each frame once.
std::vector<std::uint8_t> uniqueFrame(std::mt19937_64 &random)
{
    const std::string text = uniqueT1Frame(random);
    const std::vector<std::uint8_t> info(text.begin(), text.end());
    return tnc::kissFrame(0, tnc::ax25UiFrame({"CQ", 0}, {"QZ7ZQ", 0}, {}, info));
}

int listenOnLoopback(int &port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 || ::listen(s, 1) != 0)
        return -1;
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &length);
    port = ntohs(a.sin_port);
    return s;
}

pid_t startStation(const std::string &program, int port, const std::string &archive)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open("tnc_bench.err", O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(err, STDERR_FILENO);
        const std::string address = "kiss://127.0.0.1:" + std::to_string(port);
        ::execl(program.c_str(), program.c_str(), "--follow", address.c_str(), ("--archive=" + archive).c_str(),
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    return pid;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: tnc_bench PROGRAM ARCHIVE [FRAMES]\n");
        return 2;
    }
    const std::string program = argv[1], archive = argv[2];
    const int frames = argc > 3 ? std::max(1, std::atoi(argv[3])) : 100;
    int port = 0;
    const int listener = listenOnLoopback(port);
    if (listener < 0)
        return 1;
    const pid_t pid = startStation(program, port, archive);
    const int tnc = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    std::this_thread::sleep_for(std::chrono::seconds(1)); // the archive opened
    std::mt19937_64 random(std::random_device{}());
    std::vector<double> ms;
    std::uint64_t count = archivedFrames(archive);
    for (int i = 0; i < frames && tnc >= 0; ++i) {
        const std::vector<std::uint8_t> frame = uniqueFrame(random);
        if (::send(tnc, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size()))
            break;
        const Clock::time_point sent = Clock::now();
        while (archivedFrames(archive) == count && msSince(sent) < 10'000)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ms.push_back(msSince(sent));
        ++count;
        std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 250));
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    if (ms.empty())
        return 1;
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * static_cast<double>(ms.size() - 1))]; };
    std::printf("TNC to archive over %zu frames: p50 %.0f ms, p95 %.0f ms, max %.0f ms\n", ms.size(), at(0.5), at(0.95),
                ms.back());
    return 0;
}
