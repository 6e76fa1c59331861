// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// A soundcard TNC for the tests, from the direwolf package: it decodes the
// audio a test writes into its standard input and serves the frames as KISS
// on TCP. Its standard input is a pipe that the test holds, so it listens
// until the test has played its audio; it ends when the guard goes, also
// when a test fails, and when the test process dies (the pipe closes and the
// parent's death kills it).

#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace halcyra::test {

// The audio of `packets` ("CALL>DEST[,DIGI]:info", non-printable bytes as
// <0xNN>) at 1200 baud AFSK, 44100 samples/s, 16 bit mono: each packet made
// on its own, so that no line end joins its information field.
inline std::vector<char> packetAudio(const std::string &dir, const std::vector<std::string> &packets)
{
    std::vector<char> audio;
    const std::string wav = dir + "/packet.wav";
    for (const std::string &packet : packets) {
        FILE *pipe = ::popen(("gen_packets -r 44100 -o '" + wav + "' - >/dev/null 2>&1").c_str(), "w");
        if (!pipe)
            return {};
        std::fwrite(packet.data(), 1, packet.size(), pipe);
        if (::pclose(pipe) != 0)
            return {};
        std::ifstream in(wav, std::ios::binary);
        const std::vector<char> samples((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // The 44-byte header would be 22 samples of noise; silence between packets.
        if (samples.size() > 44)
            audio.insert(audio.end(), samples.begin() + 44, samples.end());
        audio.insert(audio.end(), 44100 / 5 * 2, 0);
    }
    return audio;
}

class DirewolfTnc {
public:
    explicit DirewolfTnc(std::string dir) : dir_(std::move(dir))
    {
        for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
            port_ = freePort();
            start();
            if (!waitFor("KISS TCP client application 0 on port " + std::to_string(port_), std::chrono::seconds(10)))
                stop();
        }
    }
    ~DirewolfTnc() { stop(); }
    DirewolfTnc(const DirewolfTnc &) = delete;
    DirewolfTnc &operator=(const DirewolfTnc &) = delete;

    bool running() const { return pid_ > 0; }
    int port() const { return port_; }
    std::string address() const { return "kiss://127.0.0.1:" + std::to_string(port_); }
    std::string output() const
    {
        std::ifstream in(dir_ + "/direwolf.out");
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // True once `text` is in what it said, within `patience`.
    bool waitFor(const std::string &text, std::chrono::milliseconds patience) const
    {
        for (auto until = std::chrono::steady_clock::now() + patience; std::chrono::steady_clock::now() < until;
             std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
            if (output().find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    bool clientAttached() const { return waitFor("Attached to KISS TCP client", std::chrono::seconds(20)); }

    void play(const std::vector<char> &audio) const
    {
        for (std::size_t at = 0; at < audio.size();) {
            const ssize_t n = ::write(audio_, audio.data() + at, audio.size() - at);
            if (n <= 0)
                return;
            at += static_cast<std::size_t>(n);
        }
    }

private:
    // A port nothing listens on now, below the system's range for outgoing
    // connections (direwolf 1.6 takes no port above 49151); another program
    // may take it before direwolf does, so the start is tried again.
    static int freePort()
    {
        static std::mt19937 random(static_cast<unsigned>(::getpid()));
        for (;;) {
            const int port = std::uniform_int_distribution<int>(20000, 32000)(random);
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_ANY);
            a.sin_port = htons(static_cast<std::uint16_t>(port));
            const bool free = ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
            ::close(s);
            if (free)
                return port;
        }
    }

    void start()
    {
        // Receive only: no audio out, no AGW port, no beacons.
        std::ofstream(dir_ + "/direwolf.conf")
            << "ADEVICE stdin null\nCHANNEL 0\nMODEM 1200\nAGWPORT 0\nKISSPORT " << port_ << "\n";
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(1);
            ::dup2(fds[0], STDIN_FILENO);
            const int out = ::open((dir_ + "/direwolf.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            const std::string conf = dir_ + "/direwolf.conf";
            ::execlp("direwolf", "direwolf", "-c", conf.c_str(), "-t", "0", "-r", "44100", "-b", "16", "-n", "1", "-",
                     static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(fds[0]);
        audio_ = fds[1];
    }

    void stop()
    {
        if (audio_ >= 0)
            ::close(audio_); // the end of its audio ends it
        audio_ = -1;
        if (pid_ <= 0)
            return;
        for (int i = 0; i < 100 && ::waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
            if (i == 20)
                ::kill(pid_, SIGTERM);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (::waitpid(pid_, nullptr, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    std::string dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    int audio_ = -1;
};

} // namespace halcyra::test
