// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The station on a TNC, run as the real program: a soundcard TNC decoding
// audio of packets, a serial TNC on a pseudo-terminal that is unplugged and
// plugged in again, and a TCP TNC that goes away mid-frame and comes back.
//
// The suite runs in a network of its own where the system allows it (a user
// and network namespace with only the loopback device): the soundcard TNC
// listens on every interface, and would otherwise be reachable from the
// network while the tests run.

#include "archive.h"
#include "ax25frame.h"
#include "direwolftnc.h"
#include "kissdeframer.h"
#include "loggen.h"
#include "testutil.h"
#include "tncaddress.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace halcyra;
using namespace halcyra::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// ---- the frames ----

std::vector<std::uint8_t> bytesOf(std::string_view hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

// Frame n of a kind ("T1" or "T2" and upper-case hex), different from every
// other: the archive keeps a frame once, so a lost frame shows, and so does
// a repeated one. `salt` puts the KISS special bytes into the payload.
std::string telemetry(FrameKind kind, int n, bool salt = false)
{
    if (kind == FrameKind::T1) {
        std::array<std::uint16_t, 32> words{};
        words[0] = static_cast<std::uint16_t>(n);
        words[1] = static_cast<std::uint16_t>(n >> 16);
        if (salt) { // KISS's own bytes, and those a terminal in its default mode eats or turns
            words[5] = words[9] = 0xC0DB;
            words[6] = 0x0D11, words[7] = 0x1303, words[8] = 0x7F1A;
        }
        return loggen::makeT1Frame(words);
    }
    std::array<std::uint8_t, 48> payload{};
    loggen::putLe(payload, 0, static_cast<std::uint32_t>(n), 4);
    if (salt) {
        const std::uint8_t special[] = {0xC0, 0xDB, 0xDC, 0xDD, 0x0D, 0x0A, 0x11, 0x13, 0x03, 0x7F, 0x1A, 0x04};
        std::copy(std::begin(special), std::end(special), payload.begin() + 7);
    }
    return loggen::makeT2Frame(payload);
}

// As archived: kind digit and payload.
std::string archivedAs(const std::string &frame)
{
    return std::string(frame[1] == '1' ? "1" : "2") + frame.substr(2);
}

// The information field with the payload as raw bytes rather than hex text.
std::vector<std::uint8_t> rawInfo(const std::string &frame)
{
    std::vector<std::uint8_t> info{static_cast<std::uint8_t>(frame[0]), static_cast<std::uint8_t>(frame[1])};
    const std::vector<std::uint8_t> payload = bytesOf(std::string_view(frame).substr(2));
    info.insert(info.end(), payload.begin(), payload.end());
    return info;
}

std::vector<std::uint8_t> kissUi(const std::string &call, int ssid, std::span<const std::uint8_t> info)
{
    const auto ax25 = tnc::ax25UiFrame({"CQ", 0}, {call, ssid}, {}, info);
    return tnc::kissFrame(0, ax25);
}

std::vector<std::uint8_t> kissUi(const std::string &call, int ssid, const std::string &info)
{
    return kissUi(call, ssid, std::span(reinterpret_cast<const std::uint8_t *>(info.data()), info.size()));
}

// ---- the archive ----

struct Archived {
    std::multiset<std::string> frames;      // kind digit and payload
    std::map<std::string, UtcMillis> times; // by the same
};

Archived archived(const std::string &location)
{
    Archived a;
    try {
        auto store = archive::openArchiveToRead(location);
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
            store->forEachRecord(kind, {}, [&](const archive::StoredRecord &r) {
                const std::string key = (kind == FrameKind::T1 ? "1" : "2") + std::string(r.frameHex);
                a.frames.insert(key);
                a.times[key] = r.received.value_or(0);
                return true;
            });
        }
    } catch (const archive::ArchiveError &) {
        // not created yet
    }
    return a;
}

// ax25_hex of every archived frame of a SQLite archive.
std::vector<std::string> ax25Column(const std::string &file)
{
    std::vector<std::string> rows;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        for (const char *table : {"t1_records", "t2_records"}) {
            sqlite3_stmt *s = nullptr;
            sqlite3_prepare_v2(db, (std::string("SELECT ax25_hex FROM ") + table).c_str(), -1, &s, nullptr);
            while (s && sqlite3_step(s) == SQLITE_ROW) {
                const auto *text = sqlite3_column_text(s, 0);
                rows.emplace_back(text ? reinterpret_cast<const char *>(text) : "NULL");
            }
            sqlite3_finalize(s);
        }
    }
    sqlite3_close(db);
    return rows;
}

// ---- the program ----

class Station {
public:
    Station(std::vector<std::string> args, std::string errors) : errors_(std::move(errors))
    {
        pid_ = ::fork();
        if (pid_ != 0)
            return;
        const int err = ::open(errors_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(err, STDERR_FILENO);
        std::vector<char *> argv{const_cast<char *>(HALCYRA_DECODE)};
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(HALCYRA_DECODE, argv.data());
        ::_exit(127);
    }
    ~Station()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // The exit status after SIGTERM; -1 when it did not exit by itself.
    int end() { return wait(SIGTERM); }
    // The exit status of a program that ends by itself.
    int wait(int signal = 0)
    {
        if (signal)
            ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string messages() const { return readFile(errors_); }
    bool said(const std::string &text, std::chrono::milliseconds patience = 20s) const
    {
        for (auto until = std::chrono::steady_clock::now() + patience; std::chrono::steady_clock::now() < until;
             std::this_thread::sleep_for(20ms)) {
            if (messages().find(text) != std::string::npos)
                return true;
        }
        return false;
    }

private:
    std::string errors_;
    pid_t pid_ = -1;
};

std::size_t occurrences(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool holds(const std::string &location, const std::multiset<std::string> &frames, std::chrono::seconds patience = 20s)
{
    for (auto until = std::chrono::steady_clock::now() + patience; std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(50ms)) {
        if (archived(location).frames == frames)
            return true;
    }
    return false;
}

UtcMillis utcNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// ---- the soundcard TNC ----

// gen_packets' text: bytes outside printable ASCII as <0xNN>.
std::string packetText(const std::string &header, std::span<const std::uint8_t> info)
{
    std::string text = header + ":";
    for (const std::uint8_t b : info) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "<0x%02x>", b);
        text += b >= 0x20 && b < 0x7F && b != '<' ? std::string(1, static_cast<char>(b)) : escaped;
    }
    return text;
}

std::string packetText(const std::string &header, const std::string &info)
{
    return packetText(header, std::span(reinterpret_cast<const std::uint8_t *>(info.data()), info.size()));
}

TEST_F(FolderTest, FromASoundcardTncExactlyTheSatellitesTelemetryIsArchivedWithItsFrame)
{
    DirewolfTnc tnc(dir);
    ASSERT_TRUE(tnc.running()) << tnc.output();
    std::vector<std::string> packets;
    std::multiset<std::string> expected;
    const auto satellite = [&](const std::string &header, const std::string &frame, bool raw) {
        packets.push_back(raw ? packetText(header, rawInfo(frame)) : packetText(header, frame));
        expected.insert(archivedAs(frame));
    };
    satellite("QZ7ZQ>CQ", telemetry(FrameKind::T1, 1), false);
    satellite("QZ7ZQ-3>CQ,WIDE1-1,WIDE2-2", telemetry(FrameKind::T2, 2), false);
    satellite("QZ7ZQ-1>CQ", telemetry(FrameKind::T1, 3, true), true);
    satellite("QZ7ZQ>CQ", telemetry(FrameKind::T2, 4, true), true);
    packets.push_back(packetText("N0CALL>CQ", telemetry(FrameKind::T1, 5)));              // another station's
    packets.push_back(packetText("QZ7ZQ>CQ", "hello from orbit"));                        // no telemetry
    packets.push_back(packetText("QZ7ZQ>CQ", telemetry(FrameKind::T1, 6).substr(0, 40))); // too short
    satellite("QZ7ZQ>CQ", telemetry(FrameKind::T1, 7), false);
    const std::vector<char> audio = packetAudio(dir, packets);
    ASSERT_FALSE(audio.empty()) << "gen_packets failed";

    const std::string archive = at("a.sqlite"), log = at("packets.log");
    Station station({"--follow", tnc.address(), "--archive=" + archive, "--station", "QTH", "--log", log},
                    at("station.err"));
    ASSERT_TRUE(tnc.clientAttached()) << tnc.output() << station.messages();
    const UtcMillis before = utcNowMs();
    tnc.play(audio);
    ASSERT_TRUE(holds(archive, expected)) << tnc.output() << station.messages();
    const UtcMillis after = utcNowMs();
    EXPECT_EQ(station.end(), 0);

    for (const auto &[frame, received] : archived(archive).times) {
        EXPECT_GE(received, before) << frame;
        EXPECT_LE(received, after) << frame;
    }
    const std::vector<std::string> frames = ax25Column(archive);
    ASSERT_EQ(frames.size(), expected.size());
    for (const std::string &hex : frames) {
        ASSERT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
        const std::vector<std::uint8_t> bytes = bytesOf(hex);
        const auto parsed = tnc::parseAx25(bytes);
        ASSERT_TRUE(parsed) << hex;
        EXPECT_EQ(parsed->source.call, "QZ7ZQ");
        EXPECT_TRUE(parsed->isUi());
    }
    // The packet log reads back as the same frames at the same times.
    const std::string again = at("again.sqlite");
    ASSERT_EQ(std::system((std::string(HALCYRA_DECODE) + " --archive=" + again + " " + log + " 2>/dev/null").c_str()),
              0);
    EXPECT_EQ(archived(again).frames, expected);
    EXPECT_EQ(archived(again).times, archived(archive).times);
    const std::string text = readFile(log);
    EXPECT_NE(text.find("N0CALL>CQ"), std::string::npos) << text;
    EXPECT_NE(text.find("hello from orbit"), std::string::npos) << text;
}

// ---- a TNC on a serial line ----

// A pseudo-terminal pair in raw mode: the test writes to the master, the
// station reads the slave through a link, as udev names a USB adapter.
class SerialTnc {
public:
    explicit SerialTnc(std::string link) : link_(std::move(link)) { plugIn(); }
    ~SerialTnc() { unplug(); }

    void plugIn()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(::grantpt(master_), 0);
        ASSERT_EQ(::unlockpt(master_), 0);
        // In the terminal's default mode: the station sets the line as KISS
        // needs it, and the test writes only once it has.
        const std::string slave = ::ptsname(master_);
        fs::remove(link_);
        fs::create_symlink(slave, link_);
    }
    void unplug()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
        fs::remove(link_);
    }
    void send(std::span<const std::uint8_t> bytes) const
    {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

private:
    std::string link_;
    int master_ = -1;
};

TEST_F(FolderTest, ASerialTncUnpluggedAndPluggedInAgainLosesNothing)
{
    SerialTnc tnc(at("ttyTNC"));
    const std::string archive = at("a.sqlite");
    Station station({"--follow", "kiss:" + at("ttyTNC") + "@9600", "--archive=" + archive}, at("station.err"));
    ASSERT_TRUE(station.said("connected to kiss:")) << station.messages();

    std::multiset<std::string> expected;
    const std::string f1 = telemetry(FrameKind::T1, 1, true), f2 = telemetry(FrameKind::T2, 2, true);
    const std::string f3 = telemetry(FrameKind::T1, 3), f4 = telemetry(FrameKind::T2, 4);
    // Escaped bytes in raw payloads; a frame in two pieces with a pause.
    tnc.send(kissUi("QZ7ZQ", 1, rawInfo(f1)));
    const auto split = kissUi("QZ7ZQ", 0, rawInfo(f2));
    tnc.send(std::span(split).first(40));
    std::this_thread::sleep_for(200ms);
    tnc.send(std::span(split).subspan(40));
    // A frame the TNC cut off (a reset) ends at the next FEND, unarchived;
    // the frame after it counts.
    const auto cut = kissUi("QZ7ZQ", 0, telemetry(FrameKind::T1, 99));
    tnc.send(std::span(cut).first(cut.size() / 2));
    tnc.send(kissUi("QZ7ZQ", 0, f3));
    expected = {archivedAs(f1), archivedAs(f2), archivedAs(f3)};
    ASSERT_TRUE(holds(archive, expected)) << station.messages();

    // Unplugged, with half a frame on its way: that half is never joined to
    // what comes after the adapter is back.
    tnc.send(std::span(cut).first(cut.size() / 2));
    tnc.unplug();
    ASSERT_TRUE(station.said("lost kiss:")) << station.messages();
    std::this_thread::sleep_for(1500ms);
    tnc.plugIn();
    ASSERT_TRUE(station.said("@9600 again")) << station.messages();
    tnc.send(std::span(cut).subspan(cut.size() / 2));
    tnc.send(kissUi("QZ7ZQ", 2, f4));
    expected.insert(archivedAs(f4));
    ASSERT_TRUE(holds(archive, expected)) << station.messages();
    EXPECT_EQ(station.end(), 0);
    const std::string messages = station.messages();
    EXPECT_EQ(occurrences(messages, "lost kiss:"), 1u) << messages;
    EXPECT_EQ(occurrences(messages, "connected to kiss:"), 2u) << messages;
}

// ---- a TNC on TCP ----

// A KISS server on 127.0.0.1 that the test stops and starts on the same port.
class TcpTnc {
public:
    TcpTnc() { listen(0); }
    ~TcpTnc() { goAway(); }

    int port() const { return port_; }
    void listen(int port)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        socklen_t length = sizeof a;
        ASSERT_EQ(::bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
        ASSERT_EQ(::listen(listener_, 4), 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &length);
        port_ = ntohs(a.sin_port);
    }
    // Waits for the station to connect.
    void accept()
    {
        const timeval wait{20, 0};
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        ASSERT_GE(client_, 0);
    }
    void send(std::span<const std::uint8_t> bytes) const
    {
        ASSERT_EQ(::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    }
    void goAway()
    {
        for (int *fd : {&client_, &listener_}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

private:
    int listener_ = -1;
    int client_ = -1;
    int port_ = 0;
};

TEST_F(FolderTest, ATcpTncThatGoesAwayAndComesBackLosesNothingReceived)
{
    TcpTnc tnc;
    const std::string archive = at("a.sqlite"), log = at("packets.log");
    Station station({"--follow", "kiss://127.0.0.1:" + std::to_string(tnc.port()), "--archive=" + archive, "--log", log,
                     "--source", "qz7zq"},
                    at("station.err"));
    tnc.accept();
    std::multiset<std::string> expected;
    for (int n = 0; n < 20; ++n) {
        const std::string frame = telemetry(n % 2 ? FrameKind::T2 : FrameKind::T1, n);
        tnc.send(n % 3 ? kissUi("QZ7ZQ", n % 16, frame) : kissUi("QZ7ZQ", n % 16, rawInfo(frame)));
        expected.insert(archivedAs(frame));
    }
    ASSERT_TRUE(holds(archive, expected)) << station.messages();
    // The packet log rotated away: what comes next goes into a new one under its name.
    fs::rename(log, log + ".1");
    const auto cut = kissUi("QZ7ZQ", 0, telemetry(FrameKind::T1, 99));
    tnc.send(std::span(cut).first(cut.size() - 10));
    // Gone, and refusing connections for a while: said once, tried again.
    tnc.goAway();
    ASSERT_TRUE(station.said("lost kiss://")) << station.messages();
    std::this_thread::sleep_for(2500ms);
    tnc.listen(tnc.port());
    tnc.accept();
    for (int n = 20; n < 30; ++n) {
        const std::string frame = telemetry(FrameKind::T1, n);
        tnc.send(kissUi("QZ7ZQ", 0, frame));
        expected.insert(archivedAs(frame));
    }
    ASSERT_TRUE(holds(archive, expected)) << station.messages();
    EXPECT_EQ(station.end(), 0);
    const std::string messages = station.messages();
    EXPECT_EQ(occurrences(messages, "lost kiss://"), 1u) << messages;
    EXPECT_EQ(occurrences(messages, "cannot reach"), 0u) << messages;
    EXPECT_EQ(occurrences(messages, "connected to kiss://"), 2u) << messages;
    // The logs hold each frame once, with its UTC line.
    EXPECT_EQ(occurrences(readFile(log + ".1"), " UTC\n"), 20u);
    EXPECT_EQ(occurrences(readFile(log), " UTC\n"), 10u);
}

// Frames from a TNC are news as they come: a change of state is told at once.
TEST_F(FolderTest, ATncStationTellsChangesOfState)
{
    TcpTnc tnc;
    writeFile(at("limits.toml"), "[t1.uptime]\nred_high = 0.0001\n"); // 8.64 s
    writeFile(at("station.conf"), "LIMITS = limits.toml\n");
    Station station({"--config", at("station.conf"), "--follow", "kiss://127.0.0.1:" + std::to_string(tnc.port()),
                     "--archive=" + at("a.sqlite")},
                    at("station.err"));
    tnc.accept();
    for (const int n : {2, 20})
        tnc.send(kissUi("QZ7ZQ", 0, telemetry(FrameKind::T1, n)));
    ASSERT_TRUE(station.said("limit: t1.uptime")) << station.messages();
    EXPECT_EQ(station.end(), 0);
    const std::string messages = station.messages();
    EXPECT_NE(messages.find("limits from " + at("limits.toml")), std::string::npos) << messages;
    EXPECT_EQ(occurrences(messages, "limit: t1.uptime"), 1u) << messages;
    EXPECT_NE(messages.find("red, above red_high 0.0001, received "), std::string::npos) << messages;
}

// ---- addresses and options ----

TEST(TncAddress, ReadsTcpAndSerialAddresses)
{
    const struct {
        const char *text;
        const char *canonical; // nullptr: refused
        const char *why;
    } cases[] = {
        {"kiss://localhost", "kiss://localhost:8001", ""},
        {"kiss://192.0.2.7:8100", "kiss://192.0.2.7:8100", ""},
        {"kiss://[::1]", "kiss://[::1]:8001", ""},
        {"kiss://[fe80::1]:9001", "kiss://[fe80::1]:9001", ""},
        {"kiss:/dev/ttyUSB0@9600", "kiss:/dev/ttyUSB0@9600", ""},
        {"kiss:/dev/serial/by-id/usb-FTDI_TNC:if00-port0@115200",
         "kiss:/dev/serial/by-id/usb-FTDI_TNC:if00-port0@115200", ""},
        {"kiss://", nullptr, "host is missing"},
        {"kiss://:8001", nullptr, "host is missing"},
        {"kiss://host:", nullptr, "port after"},
        {"kiss://host:0", nullptr, "1 to 65535"},
        {"kiss://host:65536", nullptr, "1 to 65535"},
        {"kiss://host:80x", nullptr, "1 to 65535"},
        {"kiss://::1:8001", nullptr, "brackets"},
        {"kiss://[::1", nullptr, "lacks"},
        {"kiss://host/path", nullptr, "no \"/\""},
        {"kiss:/dev/ttyUSB0", nullptr, "baud rate"},
        {"kiss:/dev/ttyUSB0@9601", nullptr, "one of 1200"},
        {"kiss:/dev/ttyUSB0@", nullptr, "one of 1200"},
        {"kiss:ttyUSB0@9600", nullptr, "absolute path"},
        {"kiss:", nullptr, "baud rate"},
    };
    for (const auto &c : cases) {
        const TncAddressResult r = parseTncAddress(c.text);
        if (c.canonical) {
            ASSERT_TRUE(r.address) << c.text << ": " << r.error;
            EXPECT_EQ(r.address->text(), c.canonical);
            EXPECT_EQ(parseTncAddress(r.address->text()).address->text(), c.canonical);
        } else {
            EXPECT_FALSE(r.address) << c.text;
            EXPECT_NE(r.error.find(c.why), std::string::npos) << c.text << ": " << r.error;
        }
    }
}

TEST_F(FolderTest, TheStationRefusesWhatCannotWorkBeforeItStarts)
{
    writeFile(at("bad.conf"), "LOG = kiss://host:99999\n");
    writeFile(at("call.conf"), "LOG = kiss://localhost\nSOURCE = QZ7ZQ-1\n");
    const struct {
        std::vector<std::string> args;
        const char *message;
        int status = 2;
    } cases[] = {
        {{"--follow", "kiss://host:99999"}, "1 to 65535"},
        {{"--follow", "kiss:/dev/ttyS0@300"}, "one of 1200"},
        {{"--follow", "kiss://localhost", "--source", "QZ7ZQ-1"}, "no callsign"},
        {{"--follow", "kiss://localhost", "--source", "TOOLONG7"}, "no callsign"},
        {{"--follow", at("pass.log"), "--log", at("p.log")}, "go with a TNC"},
        {{"--follow", at("pass.log"), "--source", "QZ7ZQ"}, "go with a TNC"},
        {{"--log", at("p.log"), at("pass.log")}, "needs --follow"},
        {{"--config", at("bad.conf")}, "bad.conf:1: \"kiss://host:99999\" is no TNC address"},
        {{"--config", at("call.conf")}, "call.conf:2: \"QZ7ZQ-1\" is no callsign"},
        // A packet log asked for and not writable: no station without it.
        {{"--follow", "kiss://localhost", "--log", at("missing/p.log")}, "cannot write the packet log", 1},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--archive=" + at("a.sqlite"));
        Station station(args, at("err"));
        EXPECT_EQ(station.wait(), c.status) << c.message;
        const std::string messages = readFile(at("err"));
        EXPECT_NE(messages.find(c.message), std::string::npos) << messages;
        fs::remove(at("err"));
    }
    EXPECT_FALSE(fs::exists(at("a.sqlite")));
}

// A user and network namespace with the loopback device only, when the
// system allows one; tried in a child first, since a half-made one cannot be
// left again.
bool isolateNetwork()
{
    const auto isolate = [] {
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
            return false;
        const auto put = [](const char *file, const std::string &text) {
            std::ofstream out(file);
            out << text;
            out.close();
            return !out.fail();
        };
        if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return false;
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq request{};
        std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
        const bool up = s >= 0 && ::ioctl(s, SIOCGIFFLAGS, &request) == 0 &&
                        (request.ifr_flags |= IFF_UP, ::ioctl(s, SIOCSIFFLAGS, &request) == 0);
        ::close(s);
        return up;
    };
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(isolate() ? 0 : 1);
    int status = 1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && isolate();
}

} // namespace

int main(int argc, char **argv)
{
    // Before gtest starts threads of its own: unshare(2) refuses a process with more than one.
    if (!isolateNetwork())
        std::fprintf(stderr, "no network namespace: the soundcard TNC listens on every interface meanwhile\n");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
