// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The follower core against real files, on a clock the tests drive; the
// window's policy is tested through the window in follow_test.

#include "logtail.h"
#include "testutil.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

using namespace halcyra;
using namespace halcyra::test;

namespace {

// What the sink got since the follower last started the file over; it takes
// `perCheck` pieces per check, or all.
struct Received : TailSink {
    void restarted() override
    {
        ++restarts;
        text.clear();
    }
    void appended(std::string_view bytes) override
    {
        text.append(bytes);
        largest = std::max(largest, bytes.size());
        ++taken;
    }
    bool wantsMore() override { return perCheck == 0 || taken < perCheck; }

    std::string text;
    int restarts = 0;
    std::size_t largest = 0;
    int perCheck = 0;
    int taken = 0;
};

void append(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

// `n` lines of a log, numbered from `first` so that no two logs are alike.
std::string lines(int n, int first = 0)
{
    std::string s;
    for (int i = first; i < first + n; ++i)
        s += "10:15 T1 " + std::to_string(i) + " 0123456789abcdef0123456789abcdef0123456789abcdef\r\n";
    return s;
}

LogTail::Policy station(std::int64_t budget = std::int64_t{8} << 20)
{
    LogTail::Policy p;
    p.waitWhileMissing = true;
    p.readBudget = budget;
    return p;
}

class LogTailTest : public FolderTest {
protected:
    // Checks until the follower has caught up with the file, a second apart;
    // the number of checks it took.
    int follow(LogTail &tail, Received &sink, int most = 100)
    {
        int checks = 0;
        do {
            sink.taken = 0;
            now += 1000;
            EXPECT_NE(tail.check(now, sink), LogTail::State::Stopped) << tail.stopReason();
            ++checks;
        } while (tail.behind() && checks < most);
        return checks;
    }

    std::int64_t now = 0;
};

} // namespace

// Whatever happens to the log, what the sink got since it last started over
// is the file, byte for byte; the file is started over only when it was not
// merely appended to.
TEST_F(LogTailTest, TheSinkHoldsTheFileWhateverHappensToIt)
{
    // A change, which looks at the file between its steps.
    using Change = std::function<void(const std::string &path, const std::function<void()> &look)>;
    struct Case {
        const char *name;
        Change change;
        bool startsOver;
    };
    // The same bytes with one of them changed at `at` from the end.
    const auto changeByte = [](const std::string &p, std::size_t fromEnd) {
        std::string s = readFile(p);
        s[s.size() - fromEnd] = 'X';
        writeFile(p, s);
    };
    const std::string old = lines(150); // more than 4 KiB at each end
    const Case cases[] = {
        {"appended", [](const std::string &p, auto &) { append(p, lines(3, 500)); }, false},
        // The LF of a CR LF pair that comes in a write of its own reaches the sink as it is.
        {"line end split",
         [](const std::string &p, auto &look) {
             append(p, "\r");
             look();
             append(p, "\n10:17");
         },
         false},
        {"truncated", [](const std::string &p, auto &) { writeFile(p, lines(2, 500)); }, true},
        {"rewritten longer", [](const std::string &p, auto &) { writeFile(p, lines(200, 500)); }, true},
        {"rewritten, same size", [&](const std::string &p, auto &) { changeByte(p, 20); }, true},
        {"rewritten, same size and ends",
         [&](const std::string &p, auto &) {
             std::this_thread::sleep_for(std::chrono::milliseconds(50)); // a later tick of the status change time
             changeByte(p, old.size() / 2);
         },
         true},
        {"rotated by renaming",
         [](const std::string &p, auto &) {
             writeFile(p + ".new", lines(1, 500));
             std::filesystem::rename(p, p + ".1");
             std::filesystem::rename(p + ".new", p);
         },
         true},
        // What was handed over and more, maybe in the same inode: still a new file.
        {"deleted and created again",
         [&](const std::string &p, auto &look) {
             std::filesystem::remove(p);
             look();
             writeFile(p, readFile(p + ".was") + lines(1, 500));
         },
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = at("pass.log");
        writeFile(path, old + "10:15 T1 half");
        LogTail tail(path, station());
        tail.startFromBeginning();
        Received sink;
        follow(tail, sink);
        ASSERT_EQ(sink.text, readFile(path));
        writeFile(path + ".was", sink.text);
        c.change(path, [&] { follow(tail, sink); });
        follow(tail, sink);
        EXPECT_EQ(sink.text, readFile(path));
        EXPECT_EQ(sink.restarts, c.startsOver ? 2 : 1);
        EXPECT_EQ(tail.position(), static_cast<std::int64_t>(sink.text.size()));
    }
}

// The station waits for a log that is not there yet, and for one that has
// gone, however long; then it reads it from its start.
TEST_F(LogTailTest, TheStationWaitsForTheLog)
{
    const std::string path = at("pass.log");
    LogTail tail(path, station());
    tail.startFromBeginning();
    Received sink;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tail.check(now += 60'000, sink), LogTail::State::Waiting);
    writeFile(path, lines(2));
    EXPECT_EQ(tail.check(now += 1000, sink), LogTail::State::Following);
    EXPECT_EQ(sink.text, lines(2));
    EXPECT_EQ(sink.restarts, 1);

    std::filesystem::remove(path);
    EXPECT_EQ(tail.check(now += 1000, sink), LogTail::State::Waiting);
    EXPECT_EQ(tail.check(now += 60'000, sink), LogTail::State::Waiting);
    writeFile(path, lines(1, 10));
    EXPECT_EQ(tail.check(now += 1000, sink), LogTail::State::Following);
    EXPECT_EQ(sink.text, lines(1, 10));
    EXPECT_EQ(sink.restarts, 2);
}

// A large log, or a large append, is read a budget per check in pieces of at
// most 64 KiB; a sink that fills stops the reading, and the next check goes
// on from exactly there, the file growing meanwhile or not.
TEST_F(LogTailTest, ALargeLogIsHandedOverInPiecesAsTheSinkTakesThem)
{
    const std::string path = at("pass.log");
    writeFile(path, lines(5000)); // ~400 KiB
    const std::int64_t budget = 150 * 1024;
    LogTail tail(path, station(budget));
    tail.startFromBeginning();
    Received sink;
    const std::int64_t size = static_cast<std::int64_t>(readFile(path).size());
    EXPECT_EQ(follow(tail, sink), (size + budget - 1) / budget);
    EXPECT_EQ(sink.text, readFile(path));
    EXPECT_LE(sink.largest, 64u * 1024);

    // One piece a check, and the receiver writes between the checks.
    append(path, lines(5000, 5000));
    sink.perCheck = 1;
    for (int i = 0; i < 3; ++i) {
        sink.taken = 0;
        tail.check(now += 1000, sink);
        EXPECT_EQ(sink.taken, 1);
        EXPECT_TRUE(tail.behind());
        append(path, lines(1, 20'000 + i));
    }
    follow(tail, sink);
    EXPECT_EQ(sink.text, readFile(path));
    EXPECT_EQ(sink.restarts, 1);

    // Rewritten while the station is behind: read again from the start, also
    // when only the 4 KiB before where it got to tell it.
    writeFile(path, lines(3000, 30'000));
    sink.taken = 0;
    tail.check(now += 1000, sink);
    ASSERT_EQ(tail.position(), 64 * 1024);
    std::string rewritten = readFile(path);
    rewritten[60 * 1024] = 'X';
    writeFile(path, rewritten);
    follow(tail, sink);
    EXPECT_EQ(sink.text, rewritten);
    EXPECT_EQ(sink.restarts, 3);
}

// A check that ends following takes nothing: following again (the window's
// menu) hands over the same bytes, none lost.
TEST_F(LogTailTest, FollowingAgainAfterAStopLosesNothing)
{
    const std::string path = at("pass.log");
    writeFile(path, lines(1));
    LogTail::Policy window;
    window.textOnly = true;
    window.sizeLimit = 1 << 20;
    window.readBudget = window.sizeLimit + 1;
    LogTail tail(path, window);
    tail.resumeAfter(lines(1), tailStampOf(path));
    Received sink;
    append(path, std::string(100'000, 'x') + std::string(1, '\0'));
    EXPECT_EQ(tail.check(now += 1000, sink), LogTail::State::Stopped);
    EXPECT_EQ(tail.stopReason(), path + " now holds NUL bytes, so it is no longer a text log");
    EXPECT_EQ(tail.position(), static_cast<std::int64_t>(lines(1).size()));

    writeFile(path, lines(1) + std::string(100'000, 'x') + "\n");
    tail.resume();
    Received again;
    EXPECT_EQ(tail.check(now += 1000, again), LogTail::State::Following);
    EXPECT_EQ(lines(1) + again.text, readFile(path));
    EXPECT_EQ(again.restarts, 0);
}
