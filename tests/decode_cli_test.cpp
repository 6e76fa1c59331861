// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Runs the real halcyra-decode: exit statuses, messages, files and signals.

#include "loggen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

struct Result {
    int status = -1;
    std::string out, err;
};

// Where the program's standard streams come from and go to; kClosed starts it
// with that descriptor closed.
const std::string kClosed = "(closed)";
struct Start {
    std::string in = "/dev/null";
    std::string out; // empty: the fixture's file, read into Result::out
    std::string err;
    std::vector<std::string> env;
    int pipeIn = -1;

    Start &input(std::string path) { return in = std::move(path), *this; }
    Start &output(std::string path) { return out = std::move(path), *this; }
    Start &errors(std::string path) { return err = std::move(path), *this; }
    Start &environment(std::vector<std::string> settings) { return env = std::move(settings), *this; }
    Start &pipe(int fd) { return pipeIn = fd, *this; }
};

// Runs in a fresh folder that is also the program's working folder, so that
// tests can name files relative to it.
class DecodeRun : public testing::Test {
protected:
    void SetUp() override
    {
        std::string name = (fs::temp_directory_path() / "halcyra-decode-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        dir = name;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string at(const std::string &name) const { return dir + "/" + name; }

    pid_t spawn(const std::vector<std::string> &args, const Start &s)
    {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
        auto stream = [&](int fd, const std::string &path, const std::string &fallback, int flags) {
            const std::string &p = path.empty() ? fallback : path;
            if (p == kClosed)
                posix_spawn_file_actions_addclose(&fa, fd);
            else
                posix_spawn_file_actions_addopen(&fa, fd, p.c_str(), flags, 0644);
        };
        if (s.pipeIn >= 0)
            posix_spawn_file_actions_adddup2(&fa, s.pipeIn, 0);
        else
            stream(0, s.in, s.in, O_RDONLY);
        stream(1, s.out, at("stdout"), O_WRONLY | O_CREAT | O_TRUNC);
        stream(2, s.err, at("stderr"), O_WRONLY | O_CREAT | O_TRUNC);
        std::vector<std::string> all = {HALCYRA_DECODE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envText = s.env; // the first of two settings wins
        for (char **e = environ; *e; ++e) {
            const std::string_view kv = *e;
            if (!kv.starts_with("LC_") && !kv.starts_with("LANG"))
                envText.emplace_back(kv);
        }
        std::vector<char *> envp;
        for (std::string &e : envText)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, HALCYRA_DECODE, &fa, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&fa);
        return pid;
    }

    Result run(const std::vector<std::string> &args, const Start &s = {})
    {
        int wstatus = 0;
        waitpid(spawn(args, s), &wstatus, 0);
        Result r;
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        r.out = s.out.empty() ? readFile(at("stdout")) : "";
        r.err = s.err.empty() ? readFile(at("stderr")) : "";
        return r;
    }

    bool temporariesLeft() const
    {
        return std::any_of(fs::directory_iterator(dir), fs::directory_iterator(),
                           [](const auto &e) { return e.path().filename().string().starts_with(".halcyra-"); });
    }

    std::string dir;
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
        std::string in = "/dev/null";
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
        {{"--t2", "victim.log"}, at("victim.log")},
    };
    for (const auto &c : cases) {
        const Result r = run(c.args, Start().input(c.in));
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
    EXPECT_EQ(run({"--version"}).out, "halcyra-decode 0.2\n");
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

    const std::vector<std::string> outputs = {"--time", "--t1", at("t1.csv"), "--t2", at("t2.csv")};
    auto decode = [&](std::vector<std::string> logs, const std::string &input = "/dev/null") {
        std::vector<std::string> args = outputs;
        args.insert(args.end(), logs.begin(), logs.end());
        const Result r = run(args, Start().input(input));
        return std::pair{r, readFile(at("t1.csv")) + readFile(at("t2.csv"))};
    };
    const auto [stdinRun, expected] = decode({"--summary"}, at("whole.log"));
    ASSERT_EQ(stdinRun.status, 0) << stdinRun.err;
    EXPECT_EQ(stdinRun.err,
              "T1 frames: 1500\nT2 frames: 300\nlines with a frame tag but the wrong length: 0 (T1 0, T2 0)\n");
    ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 1802);

    EXPECT_EQ(decode({at("a.log"), at("b.log"), at("c.log")}).second, expected);
    EXPECT_EQ(decode({at("a.log"), "-", at("c.log")}, at("b.log")).second, expected);
    // --partial keeps what the readable logs hold.
    fs::remove(at("t1.csv"));
    fs::remove(at("t2.csv"));
    const auto [missing, text] = decode({"--partial", at("a.log"), at("missing.log"), at("b.log"), at("c.log")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.log: No such file or directory"), std::string::npos) << missing.err;
    EXPECT_EQ(text, expected);
}

TEST_F(DecodeRun, AFailedRunLeavesEveryOutputAsItWas)
{
    writeFile(at("x.log"), makeLog(5, 5));
    writeFile(at("long.log"), std::string(3 << 20, 'T') + "\n" + makeLog(2, 2));
    const std::vector<std::string> both = {"--t1", "old1.csv", "--t2", "old2.csv"};
    auto with = [](std::vector<std::string> args, std::initializer_list<std::string> more) {
        args.insert(args.end(), more);
        return args;
    };
    const struct {
        std::vector<std::string> args;
        Start start;
        const char *message;
    } cases[] = {
        {{"--t1", "old1.csv", "--t2", "no/such/folder.csv", "x.log"}, {}, "folder.csv"},
        {with(both, {"x.log", "nosuch.log"}), {}, "nosuch.log: No such file or directory"},
        {with(both, {"long.log"}), {}, "longer than 1 MiB"},
        {{"--t1", "-", "--t2", "old2.csv", "x.log"}, Start().output("/dev/full"), "standard output: No space left"},
        // A closed descriptor is not taken by a file the program opens.
        {{"--t1", "-", "--t2", "old2.csv", "x.log"}, Start().output(kClosed), "standard output: Bad file descriptor"},
        {with(both, {"-"}), Start().input(kClosed), "standard input: Bad file descriptor"},
        // The summary is part of the result.
        {with(both, {"--summary", "x.log"}), Start().errors("/dev/full"), nullptr},
        {with(both, {"--summary", "x.log"}), Start().errors(kClosed), nullptr},
    };
    for (const auto &c : cases) {
        writeFile(at("old1.csv"), "old");
        writeFile(at("old2.csv"), "old");
        const Result r = run(c.args, c.start);
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
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = spawn({"--t1", at("old.csv")}, Start().pipe(fds[0]));
    ::close(fds[0]);
    for (int i = 0; i < 500 && !temporariesLeft(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(temporariesLeft());
    ::kill(pid, SIGTERM);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    ::close(fds[1]);
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
    const Start start =
        Start().environment({std::string("LD_PRELOAD=") + SIGNAL_AFTER_RENAME,
                             std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"});
    const Result r = run({"--t1", "old1.csv", "--t2", "old2.csv", "x.log"}, start);
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
    EXPECT_NE(readFile(at("old1.csv")), "old");
    EXPECT_NE(readFile(at("old2.csv")), "old");
    EXPECT_FALSE(temporariesLeft());
}

TEST_F(DecodeRun, AnOverlongLineIsSkippedAndReported)
{
    writeFile(at("x.log"), std::string(3 << 20, 'T') + "\n" + makeLog(2, 0));
    const Result r = run({at("x.log")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("longer than 1 MiB"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3); // the frames after it are decoded
}

TEST_F(DecodeRun, LocaleGivesTheDecimalSeparator)
{
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed on this machine";
    std::setlocale(LC_NUMERIC, "C");
    writeFile(at("x.log"), makeLog(5, 0));
    const std::vector<std::string> german = {"LC_ALL=de_DE.UTF-8"};
    const std::string comma = run({"--locale", at("x.log")}, Start().environment(german)).out;
    const std::string point = run({at("x.log")}, Start().environment(german)).out;
    EXPECT_NE(comma.find(','), std::string::npos);
    EXPECT_EQ(comma.find('.'), std::string::npos);
    std::string converted = point;
    std::replace(converted.begin(), converted.end(), '.', ',');
    EXPECT_EQ(comma, converted);
}

} // namespace
