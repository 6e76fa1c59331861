// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Runs the real halcyra-decode: exit statuses, messages, files and signals.

#include "loggen.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using halcyra::test::readFile;
using halcyra::test::writeFile;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string quoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs in a fresh folder that is also the program's working folder, so that
// tests can name files relative to it.
class DecodeRun : public halcyra::test::FolderTest {
protected:
    // The shell leaves its process id in "pid" and becomes the program, with
    // the variables in `env` and its output in "stdout" and "stderr" unless
    // the redirections in `streams` ("<&-" closes standard input) say otherwise.
    std::string command(const std::vector<std::string> &args, const std::string &streams,
                        const std::string &env = "") const
    {
        std::string c = "cd " + quoted(dir) + " && echo $$ >pid && LC_ALL=C " + env + " exec " + quoted(HALCYRA_DECODE);
        for (const std::string &a : args)
            c += " " + quoted(a);
        return c + " >stdout 2>stderr " + streams;
    }

    Result run(const std::vector<std::string> &args, const std::string &streams = "", const std::string &env = "")
    {
        fs::remove(at("stdout"));
        fs::remove(at("stderr"));
        const int wstatus = std::system(command(args, "</dev/null " + streams, env).c_str());
        return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus), readFile(at("stdout")),
                readFile(at("stderr"))};
    }

    bool temporariesLeft() const
    {
        return std::any_of(fs::directory_iterator(dir), fs::directory_iterator(),
                           [](const auto &e) { return e.path().filename().string().starts_with(".halcyra-"); });
    }
};

std::string makeLog(int t1, int t2)
{
    halcyra::loggen::Options o;
    o.t1Frames = t1;
    o.t2Frames = t2;
    return halcyra::loggen::generateLog(o);
}

TEST_F(DecodeRun, UsageErrorsTouchNothing)
{
    writeFile(at("old.csv"), "old");
    writeFile(at("victim.log"), "raw");
    fs::create_symlink("n.csv", at("d1"));
    fs::create_symlink("victim.log", at("victim-link"));
    const struct {
        std::vector<std::string> args;
        std::string in = ""; // redirections of the standard streams
    } cases[] = {
        {{"--bogus"}},
        {{"--t1"}},
        {{"--t1=", "x.log"}},
        {{"--time=yes"}},
        {{"--t1", at("a.csv"), "--t1", at("b.csv")}},
        {{"--t1", "-", "--t2", "-"}},
        // Two names of one output, also before it exists.
        {{"--t1", at("old.csv"), "--t2", dir + "/./old.csv"}},
        {{"--t1", "n.csv", "--t2", "./n.csv"}},
        {{"--t1", "n.csv", "--t2", "d1"}},
        // An output that is a log.
        {{"--t1", "victim-link", "victim.log"}},
        {{"--t2", "victim.log"}, "<victim.log"},
    };
    for (const auto &c : cases) {
        const Result r = run(c.args, c.in);
        const std::string where = testing::PrintToString(c.args);
        EXPECT_EQ(r.status, 2) << where;
        EXPECT_NE(r.err.find("Try 'halcyra-decode --help'"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(at("a.csv")) || fs::exists(at("n.csv"))) << where;
        fs::remove(at("n.csv"));
    }
    EXPECT_EQ(readFile(at("old.csv")), "old");
    EXPECT_EQ(readFile(at("victim.log")), "raw");
    EXPECT_TRUE(fs::is_symlink(at("victim-link")));
    const std::string version = run({"--version"}).out;
    EXPECT_TRUE(version.starts_with("halcyra-decode 0.2\n")) << version;
    EXPECT_NE(version.find("PostgreSQL server"), std::string::npos) << version; // what the package does now
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: halcyra-decode [options] [LOG ...]\n"));
}

TEST_F(DecodeRun, LogFilesFormOneContinuousText)
{
    const std::string log = makeLog(1500, 300); // more T1 frames than the window keeps
    // The first file ends between the CR and the LF after a time stamp, the
    // second in the middle of a frame.
    const std::size_t cut1 = log.find("UTC\r\n", 5000) + 4;
    const std::size_t cut2 = log.find("T1", cut1 + 5000) + 50;
    writeFile(at("whole.log"), log);
    writeFile(at("a.log"), log.substr(0, cut1));
    writeFile(at("b.log"), log.substr(cut1, cut2 - cut1));
    writeFile(at("c.log"), log.substr(cut2));

    auto decode = [&](std::vector<std::string> logs, const std::string &input = "") {
        std::vector<std::string> args = {"--time", "--t1", "t1.csv", "--t2", "t2.csv"};
        args.insert(args.end(), logs.begin(), logs.end());
        const Result r = run(args, input);
        return std::pair{r, readFile(at("t1.csv")) + readFile(at("t2.csv"))};
    };
    const auto [stdinRun, expected] = decode({"--summary"}, "<whole.log");
    ASSERT_EQ(stdinRun.status, 0) << stdinRun.err;
    EXPECT_EQ(stdinRun.err,
              "T1 frames: 1500\nT2 frames: 300\nlines with a frame tag but the wrong length: 0 (T1 0, T2 0)\n");
    ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 1802);

    EXPECT_EQ(decode({"a.log", "b.log", "c.log"}).second, expected);
    EXPECT_EQ(decode({"a.log", "-", "c.log"}, "<b.log").second, expected);
    // --partial keeps what the readable logs hold.
    fs::remove(at("t1.csv"));
    fs::remove(at("t2.csv"));
    const auto [missing, text] = decode({"--partial", "a.log", "missing.log", "b.log", "c.log"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.log: No such file or directory"), std::string::npos) << missing.err;
    EXPECT_EQ(text, expected);
}

TEST_F(DecodeRun, AFailedRunLeavesEveryOutputAsItWas)
{
    writeFile(at("x.log"), makeLog(5, 5));
    writeFile(at("long.log"), std::string(3 << 20, 'T') + "\n" + makeLog(2, 2));
    const std::vector<std::string> toStdout = {"--t1", "-", "--t2", "old2.csv", "x.log"};
    const std::vector<std::string> summary = {"--t1", "old1.csv", "--t2", "old2.csv", "--summary", "x.log"};
    const struct {
        std::vector<std::string> args;
        std::string streams;
        const char *message;
    } cases[] = {
        {{"--t1", "old1.csv", "--t2", "no/such/folder.csv", "x.log"}, "", "folder.csv"},
        {{"--t1", "old1.csv", "--t2", "old2.csv", "x.log", "nosuch.log"}, "", "nosuch.log: No such file or directory"},
        {{"--t1", "old1.csv", "--t2", "old2.csv", "long.log"}, "", "longer than 1 MiB"},
        {toStdout, ">/dev/full", "standard output: No space left"},
        // A closed descriptor is not taken by a file the program opens.
        {toStdout, ">&-", "standard output: Bad file descriptor"},
        {{"--t1", "old1.csv", "--t2", "old2.csv", "-"}, "<&-", "standard input: Bad file descriptor"},
        // The summary is part of the result.
        {summary, "2>/dev/full", nullptr},
        {summary, "2>&-", nullptr},
    };
    for (const auto &c : cases) {
        writeFile(at("old1.csv"), "old");
        writeFile(at("old2.csv"), "old");
        const Result r = run(c.args, c.streams);
        const std::string where = testing::PrintToString(c.args);
        EXPECT_EQ(r.status, 1) << where;
        if (c.message) {
            EXPECT_NE(r.err.find(c.message), std::string::npos) << where << ": " << r.err;
        }
        EXPECT_TRUE(readFile(at("old1.csv")) == "old" && readFile(at("old2.csv")) == "old") << where;
        EXPECT_FALSE(temporariesLeft()) << where;
    }
}

TEST_F(DecodeRun, AReplacedFileKeepsItsNameLinkModeAndOwner)
{
    writeFile(at("x.log"), makeLog(5, 5));
    writeFile(at("old.csv"), "old");
    ::chmod(at("old.csv").c_str(), 0640);
    const bool root = ::geteuid() == 0; // only root can hand the file to another owner
    if (root) {
        ASSERT_EQ(::chown(at("old.csv").c_str(), 1234, 5678), 0);
    }
    fs::create_symlink("real.csv", at("link.csv")); // its target is not there yet

    const Result r = run({"--t1", "old.csv", "--t2", "link.csv", "x.log"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string t1 = readFile(at("old.csv"));
    EXPECT_EQ(std::count(t1.begin(), t1.end(), '\n'), 6);
    struct stat st {};
    ::stat(at("old.csv").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    if (root) {
        EXPECT_TRUE(st.st_uid == 1234 && st.st_gid == 5678) << st.st_uid << ":" << st.st_gid;
    }
    EXPECT_TRUE(fs::is_symlink(at("link.csv")));
    const std::string t2 = readFile(at("real.csv"));
    EXPECT_EQ(std::count(t2.begin(), t2.end(), '\n'), 6);

    // The longest name the folder takes leaves no room for a suffix.
    const std::string longest(static_cast<std::size_t>(::pathconf(dir.c_str(), _PC_NAME_MAX)), 'n');
    EXPECT_EQ(run({"--t1", longest, "x.log"}).status, 0);
    EXPECT_TRUE(fs::exists(at(longest)));
    EXPECT_FALSE(temporariesLeft());
}

TEST_F(DecodeRun, AnInterruptedRunRemovesItsTemporaryFile)
{
    writeFile(at("old.csv"), "old");
    // Standard input is a pipe that stays open: the run waits for the log.
    FILE *input = ::popen(command({"--t1", "old.csv"}, "").c_str(), "w");
    ASSERT_NE(input, nullptr);
    for (int i = 0; i < 500 && !temporariesLeft(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(temporariesLeft());
    ::kill(std::stoi(readFile(at("pid"))), SIGTERM);
    const int wstatus = ::pclose(input);
    EXPECT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGTERM);
    EXPECT_FALSE(temporariesLeft());
    EXPECT_EQ(readFile(at("old.csv")), "old");
}

TEST_F(DecodeRun, AnInterruptDuringTheReplacementLeavesNoMixOfOldAndNew)
{
    writeFile(at("old1.csv"), "old");
    writeFile(at("old2.csv"), "old");
    writeFile(at("x.log"), makeLog(5, 5));
    // The sanitizer runtime need not be loaded before the preloaded library.
    const char *asan = std::getenv("ASAN_OPTIONS");
    const std::string env = "LD_PRELOAD=" + quoted(SIGNAL_AFTER_RENAME) +
                            " ASAN_OPTIONS=" + quoted(std::string(asan ? asan : "") + ":verify_asan_link_order=0");
    const Result r = run({"--t1", "old1.csv", "--t2", "old2.csv", "x.log"}, "", env);
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
    EXPECT_NE(readFile(at("old1.csv")), "old");
    EXPECT_NE(readFile(at("old2.csv")), "old");
    EXPECT_FALSE(temporariesLeft());
}

TEST_F(DecodeRun, LocaleGivesTheDecimalSeparator)
{
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed on this machine";
    std::setlocale(LC_NUMERIC, "C");
    writeFile(at("x.log"), makeLog(5, 0));
    const std::string comma = run({"--locale", "x.log"}, "", "LC_ALL=de_DE.UTF-8").out;
    std::string point = run({"x.log"}, "", "LC_ALL=de_DE.UTF-8").out;
    EXPECT_NE(comma.find(','), std::string::npos);
    EXPECT_EQ(comma.find('.'), std::string::npos);
    std::replace(point.begin(), point.end(), '.', ',');
    EXPECT_EQ(comma, point);
}

} // namespace
