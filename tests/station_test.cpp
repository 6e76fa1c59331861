// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The unattended station, run as the real program against a log written the
// way a receiver writes it, killed and started again, with a server that
// restarts under it.

#include "archive.h"
#include "loggen.h"
#include "testutil.h"

#include <gtest/gtest.h>
#include <pqxx/pqxx>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace halcyra;
using namespace halcyra::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

std::optional<std::string> testServer()
{
    const char *dir = std::getenv("HALCYRA_TEST_SERVER");
    std::ifstream in(std::string(dir ? dir : "") + "/uri");
    std::string uri;
    std::getline(in, uri);
    return uri.empty() ? std::nullopt : std::optional(uri);
}

// Frame n of a kind, different from every other one: the archive keeps a
// frame once, so the test can tell a lost frame from a repeated one.
std::string frame(FrameKind kind, int n)
{
    if (kind == FrameKind::T1) {
        std::array<std::uint16_t, 32> words{};
        words[0] = static_cast<std::uint16_t>(n);
        words[1] = static_cast<std::uint16_t>(n >> 16);
        return loggen::makeT1Frame(words);
    }
    std::array<std::uint8_t, 48> payload{};
    loggen::putLe(payload, 0, static_cast<std::uint32_t>(n), 4);
    return loggen::makeT2Frame(payload);
}

// A receiving program's log: UTC lines and frames, written in bursts, with
// line ends split across writes, rotated and truncated.
class Receiver {
public:
    explicit Receiver(std::string path) : path_(std::move(path)) {}

    // `n` frames of alternating kinds, written in pieces of random size.
    void burst(int n, std::mt19937 &random)
    {
        std::string text;
        for (int i = 0; i < n; ++i) {
            const FrameKind kind = next_ % 3 == 2 ? FrameKind::T2 : FrameKind::T1;
            const int s = next_;
            char stamp[64];
            std::snprintf(stamp, sizeof stamp, "2026-12-07 %02d:%02d:%02d.000 UTC\r\n", s / 3600 % 24, s / 60 % 60,
                          s % 60);
            const std::string line = frame(kind, next_++);
            text += stamp + line + "\r\n";
            frames_.insert(std::string(kind == FrameKind::T1 ? "1" : "2") + line.substr(2));
        }
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t piece = std::uniform_int_distribution<std::size_t>(1, 400)(random);
            append(text.substr(at, piece));
            at += piece;
        }
    }
    void append(const std::string &bytes) const { std::ofstream(path_, std::ios::binary | std::ios::app) << bytes; }
    void rotate() const
    {
        fs::rename(path_, path_ + ".1");
        std::ofstream(path_, std::ios::binary);
    }
    void truncate() const { std::ofstream(path_, std::ios::binary | std::ios::trunc); }

    const std::set<std::string> &frames() const { return frames_; }

private:
    std::string path_;
    std::set<std::string> frames_; // kind digit and upper-case payload of everything written
    int next_ = 0;
};

// Every archived frame as Receiver writes it down; a frame archived twice
// would show as a count larger than the set.
std::pair<std::set<std::string>, std::size_t> archived(const std::string &location)
{
    std::set<std::string> frames;
    std::size_t count = 0;
    try {
        auto store = archive::openArchiveToRead(location);
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
            store->forEachRecord(kind, {}, [&](const archive::StoredRecord &r) {
                frames.insert((kind == FrameKind::T1 ? "1" : "2") + std::string(r.frameHex));
                ++count;
                return true;
            });
        }
    } catch (const archive::ArchiveError &) {
        // not created yet
    }
    return {frames, count};
}

class StationProcess {
public:
    StationProcess(std::vector<std::string> args, std::string errors, std::string notifySocket = {})
        : args_(std::move(args)), errors_(std::move(errors)), notify_(std::move(notifySocket))
    {
        start();
    }
    ~StationProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    void start()
    {
        pid_ = ::fork();
        if (pid_ != 0)
            return;
        const int err = ::open(errors_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(err, STDERR_FILENO);
        ::setenv("NOTIFY_SOCKET", notify_.c_str(), 1);
        if (notify_.empty())
            ::unsetenv("NOTIFY_SOCKET");
        std::vector<char *> argv{const_cast<char *>(HALCYRA_DECODE)};
        for (std::string &a : args_)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(HALCYRA_DECODE, argv.data());
        ::_exit(127);
    }
    void kill()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // The exit status after `signal`; -1 when it did not exit by itself.
    int end(int signal)
    {
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::vector<std::string> args_;
    std::string errors_;
    std::string notify_;
    pid_t pid_ = -1;
};

enum class Backend { File, Server };

class StationTest : public FolderTest, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        if (GetParam() == Backend::Server && !testServer())
            GTEST_SKIP() << "no test server: ctest starts one (tools/pgtest.sh)";
        location_ = GetParam() == Backend::File ? at("archive.sqlite") : newDatabase();
        log_ = at("pass.log");
        errors_ = at("station.err");
    }

    std::string newDatabase()
    {
        const std::string name = "halcyra_station_" + std::to_string(::getpid()) + "_" + std::to_string(++databases_);
        pqxx::connection admin(*testServer());
        pqxx::nontransaction(admin).exec0("CREATE DATABASE " + name);
        return testServer()->substr(0, testServer()->rfind('/') + 1) + name;
    }

    std::vector<std::string> follow() const { return {"--follow", log_, "--archive=" + location_, "--station", "QTH"}; }

    // Waits until the archive holds everything written; false after a while.
    bool caughtUp(const Receiver &receiver, std::chrono::seconds patience = 20s) const
    {
        for (auto until = std::chrono::steady_clock::now() + patience; std::chrono::steady_clock::now() < until;
             std::this_thread::sleep_for(50ms)) {
            if (archived(location_).first == receiver.frames())
                return true;
        }
        return false;
    }

    std::string location_, log_, errors_;
    int databases_ = 0;
};

INSTANTIATE_TEST_SUITE_P(Backends, StationTest, ::testing::Values(Backend::File, Backend::Server),
                         [](const auto &info) { return info.param == Backend::File ? "File" : "Server"; });

TEST_P(StationTest, KilledAndStartedAgainItArchivesEveryFrameOnce)
{
    std::mt19937 random(7);
    Receiver receiver(log_);
    receiver.burst(40, random); // already there when the station starts
    StationProcess station(follow(), errors_);
    for (int step = 0; step < 40; ++step) {
        receiver.burst(std::uniform_int_distribution<int>(0, 25)(random), random);
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 150)(random)));
        if (step % 7 == 3) { // a crash at any moment: the next start reads the file again
            station.kill();
            receiver.burst(5, random);
            station.start();
        }
        // Rotation and truncation happen between passes: what the file held is archived by then.
        if (step == 15 || step == 30) {
            ASSERT_TRUE(caughtUp(receiver)) << readFile(errors_);
            step == 15 ? receiver.rotate() : receiver.truncate();
        }
    }
    ASSERT_TRUE(caughtUp(receiver)) << readFile(errors_);
    EXPECT_EQ(station.end(SIGTERM), 0) << readFile(errors_);
    const auto [frames, count] = archived(location_);
    EXPECT_EQ(count, receiver.frames().size());
    const std::string messages = readFile(errors_);
    EXPECT_NE(messages.find("was replaced or truncated"), std::string::npos) << messages;
    EXPECT_NE(messages.find("log as it stood at start: received 2026-12-07"), std::string::npos) << messages;
}

TEST_P(StationTest, EachEndingSignalCommitsTheFramesOnTheirWay)
{
    std::mt19937 random(3);
    Receiver receiver(log_);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        StationProcess station(follow(), errors_);
        receiver.burst(3, random);
        std::this_thread::sleep_for(300ms);
        receiver.burst(2, random); // within the batch's wait when the signal comes
        EXPECT_EQ(station.end(signal), 0) << readFile(errors_);
        EXPECT_EQ(archived(location_).first, receiver.frames()) << strsignal(signal) << readFile(errors_);
    }
}

// A server of the test's own: restarting the shared one would cut off the
// tests that run beside this one. Stopped also when the test fails.
class OwnServer {
public:
    explicit OwnServer(fs::path dir) : dir_(std::move(dir))
    {
        if (run("start") == 0)
            std::getline(std::ifstream(dir_ / "uri"), uri_);
    }
    ~OwnServer() { run("stop"); }
    const std::string &uri() const { return uri_; }
    int run(const std::string &command) const
    {
        return std::system((std::string(PGTEST) + " " + command + " '" + dir_.string() + "' >/dev/null").c_str());
    }

private:
    fs::path dir_;
    std::string uri_;
};

TEST_F(FolderTest, AServerRestartedUnderTheStationLosesNothing)
{
    const OwnServer server(fs::path(dir) / "pg");
    ASSERT_FALSE(server.uri().empty());
    const std::string log = at("pass.log"), errors = at("station.err");
    std::mt19937 random(11);
    Receiver receiver(log);
    receiver.burst(10, random);
    StationProcess station({"--follow", log, "--archive=" + server.uri()}, errors);
    std::this_thread::sleep_for(1s);
    std::thread writer([&] {
        for (int i = 0; i < 30; ++i) {
            receiver.burst(3, random);
            std::this_thread::sleep_for(100ms);
        }
    });
    EXPECT_EQ(server.run("restart"), 0);
    writer.join();
    for (auto until = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < until && archived(server.uri()).first != receiver.frames();)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(station.end(SIGTERM), 0);
    EXPECT_EQ(archived(server.uri()).first, receiver.frames()) << readFile(errors);
    const std::string messages = readFile(errors);
    EXPECT_NE(messages.find("trying again"), std::string::npos) << messages;
    EXPECT_NE(messages.find("takes frames again"), std::string::npos) << messages;
}

// READY goes to the service manager once the log as it stood is archived,
// also for a log that does not exist yet, which is waited for.
TEST_F(FolderTest, ReadyOnceTheLogAsItStoodIsArchived)
{
    const std::string socketPath = at("notify");
    const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    const timeval wait{20, 0};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const auto readyMessage = [&] {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(sock, buffer, sizeof buffer, 0)) > 0;) {
            if (std::string(buffer, static_cast<std::size_t>(n)).find("READY=1") != std::string::npos)
                return true;
        }
        return false;
    };
    const std::string location = at("a.sqlite"), log = at("later/pass.log");
    std::mt19937 random(5);
    {
        StationProcess station({"--follow", log, "--archive=" + location}, at("err"), socketPath);
        ASSERT_TRUE(readyMessage()); // nothing to read: waiting is what it does
        fs::create_directory(at("later"));
        Receiver receiver(log);
        receiver.burst(20, random);
        for (auto until = std::chrono::steady_clock::now() + 10s;
             std::chrono::steady_clock::now() < until && archived(location).first != receiver.frames();)
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(archived(location).first, receiver.frames()) << readFile(at("err"));
        EXPECT_EQ(station.end(SIGTERM), 0);
    }
    Receiver more(log); // its first 20 frames are those archived before
    more.burst(2000, random);
    StationProcess station({"--follow", log, "--archive=" + location}, at("err"), socketPath);
    ASSERT_TRUE(readyMessage());
    EXPECT_EQ(archived(location).second, more.frames().size()); // all there when it said so
    ::close(sock);
}

} // namespace
