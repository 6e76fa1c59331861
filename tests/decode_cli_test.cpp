// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Runs the real halcyra-decode: exit statuses, messages, files and signals.

#include "loggen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <clocale>
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

    // Starts the program with `input` as standard input (a path, or a pipe
    // when pipeFd >= 0) and the extra environment settings.
    pid_t spawn(const std::vector<std::string> &args, const std::string &input, int pipeFd = -1,
                const std::vector<std::string> &env = {}, const std::string &out = "")
    {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (pipeFd >= 0)
            posix_spawn_file_actions_adddup2(&fa, pipeFd, 0);
        else
            posix_spawn_file_actions_addopen(&fa, 0, input.c_str(), O_RDONLY, 0);
        const std::string outPath = out.empty() ? at("stdout") : out;
        const std::string errPath = at("stderr");
        posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> all = {HALCYRA_DECODE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> envText = env;
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

    Result run(const std::vector<std::string> &args, const std::string &input = "/dev/null",
               const std::vector<std::string> &env = {}, const std::string &out = "")
    {
        int wstatus = 0;
        waitpid(spawn(args, input, -1, env, out), &wstatus, 0);
        Result r;
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        r.out = out.empty() ? readFile(at("stdout")) : "";
        r.err = readFile(at("stderr"));
        return r;
    }

    bool temporariesLeft() const
    {
        return std::any_of(fs::directory_iterator(dir), fs::directory_iterator(), [](const auto &e) {
            return e.path().filename().string().find(".tmp-") != std::string::npos;
        });
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
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--t1"},
        {"--t1=", "x.log"},
        {"--time=yes"},
        {"--t1", at("a.csv"), "--t1", at("b.csv")},
        {"--t1", at("old.csv"), "--t2", dir + "/./old.csv"},
        {"--t1", at("new.csv"), "--t2", dir + "/../" + fs::path(dir).filename().string() + "/new.csv"},
        {"--t1", "-", "--t2", "-"},
    };
    for (const auto &args : cases) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << testing::PrintToString(args);
        EXPECT_NE(r.err.find("Try 'halcyra-decode --help'"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(readFile(at("old.csv")), "old");
    EXPECT_FALSE(fs::exists(at("a.csv")) || fs::exists(at("new.csv")));
    EXPECT_EQ(run({"--version"}).out, "halcyra-decode 0.2\n");
    const Result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: halcyra-decode [options] [LOG ...]\n"));
}

TEST_F(DecodeRun, LogFilesFormOneContinuousText)
{
    const std::string log = makeLog(300, 300);
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
        const Result r = run(args, input);
        return std::pair{r, readFile(at("t1.csv")) + readFile(at("t2.csv"))};
    };
    const auto [stdinRun, expected] = decode({}, at("whole.log"));
    ASSERT_EQ(stdinRun.status, 0) << stdinRun.err;
    ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 602);

    EXPECT_EQ(decode({at("a.log"), at("b.log"), at("c.log")}).second, expected);
    EXPECT_EQ(decode({at("a.log"), "-", at("c.log")}, at("b.log")).second, expected);
    const auto [missing, text] = decode({at("a.log"), at("missing.log"), at("b.log"), at("c.log")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.log: No such file or directory"), std::string::npos) << missing.err;
    EXPECT_EQ(text, expected);
}

TEST_F(DecodeRun, FiveThousandFramesOfEachKindWithoutALimit)
{
    writeFile(at("big.log"), makeLog(5000, 5000));
    const Result r = run({"--summary", "--t1", at("t1.csv"), "--t2", at("t2.csv"), at("big.log")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("T1 frames: 5000\nT2 frames: 5000\n"), std::string::npos) << r.err;
    for (const char *name : {"t1.csv", "t2.csv"}) {
        std::istringstream lines(readFile(at(name)));
        int count = 0;
        for (std::string line; std::getline(lines, line); ++count)
            ASSERT_EQ(std::count(line.begin(), line.end(), ';'), 45) << name << " line " << count;
        EXPECT_EQ(count, 5001) << name;
    }
}

TEST_F(DecodeRun, AFailedRunLeavesThePreviousFilesWhole)
{
    writeFile(at("old1.csv"), "old");
    writeFile(at("old2.csv"), "old");
    ::chmod(at("old1.csv").c_str(), 0640);
    writeFile(at("x.log"), makeLog(5, 5));

    Result r = run({"--t1", at("old1.csv"), "--t2", at("no/such/folder.csv"), at("x.log")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("folder.csv"), std::string::npos) << r.err;
    r = run({"--t1", "-", "--t2", at("old2.csv"), at("x.log")}, "/dev/null", {}, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("standard output: No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(at("old1.csv")), "old");
    EXPECT_EQ(readFile(at("old2.csv")), "old");

    EXPECT_EQ(run({"--t1", at("old1.csv"), at("x.log")}).status, 0);
    const std::string replaced = readFile(at("old1.csv"));
    EXPECT_EQ(std::count(replaced.begin(), replaced.end(), '\n'), 6);
    struct stat st {};
    ::stat(at("old1.csv").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the replaced file keeps its mode
    EXPECT_FALSE(temporariesLeft());
}

TEST_F(DecodeRun, AnInterruptedRunRemovesItsTemporaryFile)
{
    writeFile(at("old.csv"), "old");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = spawn({"--t1", at("old.csv")}, "", fds[0]);
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
    const std::string comma = run({"--locale", at("x.log")}, "/dev/null", german).out;
    const std::string point = run({at("x.log")}, "/dev/null", german).out;
    EXPECT_NE(comma.find(','), std::string::npos);
    EXPECT_EQ(comma.find('.'), std::string::npos);
    std::string converted = point;
    std::replace(converted.begin(), converted.end(), '.', ',');
    EXPECT_EQ(comma, converted);
}

} // namespace
