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

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
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

// A log of T1 frames whose Batt1 Volt counts `raws` in turn (1.221 mV each),
// a second apart from `first`.
std::string batteryLog(const std::vector<int> &raws, int first = 0)
{
    std::string text;
    for (std::size_t i = 0; i < raws.size(); ++i) {
        const int n = first + static_cast<int>(i);
        std::array<std::uint16_t, 32> words{};
        words[0] = static_cast<std::uint16_t>(n);
        words[17] = static_cast<std::uint16_t>(raws[i]);
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "2026-12-07 10:%02d:%02d.000 UTC\n", n / 60 % 60, n % 60);
        text += stamp + loggen::makeT1Frame(words) + "\n";
    }
    return text;
}

// Green above 4 V (3277 counts), yellow down to 2 V (1638), red below.
constexpr const char *kBatteryLimits = "[batt1_volt]\nred_low = 2.0\nyellow_low = 4.0\n";
constexpr int kGreen = 5000, kYellow = 3000, kRed = 1000;

// Runs halcyra-decode to its end: the exit status and standard output.
std::pair<int, std::string> runDecode(const std::vector<std::string> &args, const std::string &output)
{
    std::string command = HALCYRA_DECODE;
    for (const std::string &a : args)
        command += " '" + a + "'";
    const int status = std::system((command + " >'" + output + "' 2>&1").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(output)};
}

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

namespace {

std::size_t lineCount(const std::string &text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

// A cron job's view: the exit status is the worst state any field reached,
// over logs and over the archive alike, and a limits file in error is no
// all-clear.
TEST_F(FolderTest, CheckLimitsExitsWithTheWorstStateReached)
{
    writeFile(at("limits.toml"), kBatteryLimits);
    const struct {
        const char *name;
        std::vector<int> raws;
        int status;
        std::size_t changes;
    } cases[] = {
        {"all green", {kGreen, kGreen}, 0, 0},
        {"yellow and back", {kGreen, kYellow, kGreen}, 3, 2},
        {"red, by way of nothing", {kRed}, 4, 1},
        {"red then yellow: the worst counts", {kRed, kYellow, kYellow}, 4, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(at("pass.log"), batteryLog(c.raws));
        const auto [status, output] = runDecode({"--check-limits=" + at("limits.toml"), at("pass.log")}, at("out"));
        EXPECT_EQ(status, c.status) << output;
        EXPECT_EQ(lineCount(output), 1 + c.changes) << output;
        EXPECT_TRUE(output.starts_with("received_utc;frame_time;field;value;state;bound;limit\n")) << output;

        const std::string archive = at(std::string(c.name) + ".sqlite");
        ASSERT_EQ(runDecode({"--archive=" + archive, at("pass.log")}, at("import")).first, 0);
        const auto fromArchive =
            runDecode({"--check-limits=" + at("limits.toml"), "--from-archive=" + archive}, at("out"));
        EXPECT_EQ(fromArchive, std::pair(status, output));
    }
    const auto [status, output] = runDecode({"--check-limits=" + at("limits.toml"), at("pass.log")}, at("out"));
    EXPECT_NE(output.find("2026-12-07T10:00:00.000Z;2026-12-07 10:00:00.000 UTC;batt1_volt;1.221;red;red_low;2\n"),
              std::string::npos)
        << output;

    writeFile(at("bad.toml"), "[batt1_volt]\nred_low = 5\nyellow_low = 4\n");
    const auto refused = runDecode({"--check-limits=" + at("bad.toml"), at("pass.log")}, at("out"));
    EXPECT_EQ(refused.first, 1);
    EXPECT_NE(refused.second.find("bad.toml:3:1: yellow_low 4 of [batt1_volt] is below red_low 5"), std::string::npos)
        << refused.second;
    EXPECT_EQ(runDecode({"--check-limits=" + at("limits.toml"), at("missing.log")}, at("out")).first, 1);
}

// The station's journal and its alarm: a log that already ends red is told
// once when the station is ready, not change by change; a change while it
// follows is told at its priority, and the alarm's program hears of each
// change in its environment.
TEST_F(FolderTest, TheStationTellsChangesOfStateAndRunsItsAlarm)
{
    const std::string log = at("pass.log"), errors = at("station.err"), heard = at("heard");
    writeFile(at("limits.toml"), kBatteryLimits);
    writeFile(at("station.conf"), "LOG = pass.log\nLIMITS = limits.toml\nSTATION = N0CALL\n");
    writeFile(at("alarm.sh"), "#!/bin/sh\necho \"$HALCYRA_FIELD $HALCYRA_STATE $HALCYRA_PREVIOUS_STATE $HALCYRA_BOUND "
                              "$HALCYRA_STATION $1\" >> \"$ALARM_TEST_HEARD\"\n");
    fs::permissions(at("alarm.sh"), fs::perms::owner_all);
    ::setenv("ALARM_TEST_HEARD", heard.c_str(), 1);
    writeFile(log, batteryLog({kGreen, kYellow, kGreen, kYellow, kRed}));

    StationProcess station({"--config", at("station.conf"), "--follow", log, "--archive=" + at("a.sqlite"),
                            "--on-alarm", at("alarm.sh") + " argument"},
                           errors);
    const auto waitFor = [&](const std::string &text) {
        for (int i = 0; i < 200 && readFile(heard).find(text) == std::string::npos; ++i)
            std::this_thread::sleep_for(50ms);
        return readFile(heard);
    };
    EXPECT_EQ(waitFor("red"), "batt1_volt red yellow red_low N0CALL argument\n");
    std::ofstream(log, std::ios::app) << batteryLog({kGreen, kYellow}, 5);
    // The alarms run side by side, so they may finish in any order.
    waitFor("yellow green");
    std::vector<std::string> lines;
    std::istringstream heardLines(readFile(heard));
    for (std::string line; std::getline(heardLines, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"batt1_volt green red red_low N0CALL argument",
                                               "batt1_volt red yellow red_low N0CALL argument",
                                               "batt1_volt yellow green yellow_low N0CALL argument"}));
    EXPECT_EQ(station.end(SIGTERM), 0);
    ::unsetenv("ALARM_TEST_HEARD");
    const std::string messages = readFile(errors);
    EXPECT_NE(messages.find("limits from " + at("limits.toml")), std::string::npos) << messages;
    EXPECT_NE(messages.find("limit: batt1_volt 1.221 red, below red_low 2"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("limit: batt1_volt 3.663 yellow, below yellow_low 4, received 2026-12-07T10:00:01"),
              std::string::npos)
        << "a change inside the log as it stood at start is history: " << messages;
    EXPECT_NE(messages.find("limit: batt1_volt 3.663 yellow, below yellow_low 4, received 2026-12-07T10:00:06"),
              std::string::npos)
        << messages;
}

// A typing error in a station nobody watches stops it at start, with where
// the fault is, rather than leaving it to run without its limits.
TEST_F(FolderTest, AStationConfigurationIsTakenWholeOrRefused)
{
    writeFile(at("bad.toml"), "[batt1_volt]\nred_low = \"low\"\n");
    const struct {
        const char *conf;
        const char *said;
    } cases[] = {
        {"LOG = x.log\nLIMITS = bad.toml\n", "bad.toml:2:11: "},
        {"LOG = x.log\nLIMITS = none.toml\n", "none.toml: cannot be read"},
        {"LOG = x.log\nON_ALARMS = mail\n", "station.conf:2: unknown key \"ON_ALARMS\""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.conf);
        writeFile(at("station.conf"), c.conf);
        const auto [status, output] = runDecode({"--config", at("station.conf")}, at("out"));
        EXPECT_EQ(status, 2);
        EXPECT_NE(output.find(c.said), std::string::npos) << output;
    }
}
