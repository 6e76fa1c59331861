// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// What the unattended station tells systemd and the journal, received by a
// real datagram socket and read back from the file that stands in for the
// journal's stream.

#include "journal.h"
#include "servicemanager.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using halcyra::ServiceManager;
using halcyra::test::readFile;
using namespace std::chrono_literals;

namespace {

// A service manager's notification socket, as systemd passes it.
class NotifyTest : public halcyra::test::FolderTest {
protected:
    void SetUp() override
    {
        FolderTest::SetUp();
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(socket_, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = at("notify");
        ASSERT_LT(path.size(), sizeof address.sun_path);
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(::bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }
    void TearDown() override
    {
        for (const char *name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"})
            ::unsetenv(name);
        ::close(socket_);
        FolderTest::TearDown();
    }

    // The next datagram, or "" when none comes within a second.
    std::string received() const
    {
        pollfd p{socket_, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1)
            return "";
        char buffer[4096];
        const ssize_t n = ::recv(socket_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
    }

    int socket_ = -1;
};

TEST_F(NotifyTest, EachMessageReachesTheManagerAsItsAssignments)
{
    ServiceManager manager;
    // Sent in this order, and queued by the socket until read.
    const struct {
        bool sent;
        std::string expected;
    } messages[] = {
        {manager.ready("2 frames archived"), "READY=1\nSTATUS=2 frames archived"},
        {manager.status("following pass.log"), "STATUS=following pass.log"},
        {manager.keepAlive(), "WATCHDOG=1"},
        {manager.stopping(), "STOPPING=1"},
        // A status made of a log's or a server's text carries no assignment
        // of its own: no READY=1 before the log is archived, no STOPPING=1.
        {manager.status("bad line\nREADY=1\r\nSTOPPING=1"), "STATUS=bad line READY=1  STOPPING=1"},
        {manager.ready(std::string("cut\0STOPPING=1", 14)), "READY=1\nSTATUS=cut STOPPING=1"},
    };
    for (const auto &m : messages) {
        EXPECT_TRUE(m.sent);
        EXPECT_EQ(received(), m.expected);
    }
}

TEST_F(NotifyTest, KeepAlivesAreDueAtHalfTheWatchdogOfThisProcess)
{
    EXPECT_EQ(ServiceManager().keepAliveInterval(), std::nullopt);
    ::setenv("WATCHDOG_USEC", "60000000", 1);
    EXPECT_EQ(ServiceManager().keepAliveInterval(), 30000ms);
    ::setenv("WATCHDOG_USEC", "1000", 1); // never a zero interval, which would spin
    EXPECT_EQ(ServiceManager().keepAliveInterval(), 1ms);
    // Inherited from a parent that the watchdog watches: not ours to feed.
    ::setenv("WATCHDOG_USEC", "60000000", 1);
    ::setenv("WATCHDOG_PID", std::to_string(::getppid()).c_str(), 1);
    EXPECT_EQ(ServiceManager().keepAliveInterval(), std::nullopt);
    ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
    EXPECT_EQ(ServiceManager().keepAliveInterval(), 30000ms);
}

TEST_F(NotifyTest, AManagerThatCannotBeReachedIsAFailureAndNoneIsNot)
{
    ::setenv("NOTIFY_SOCKET", at("nobody-listens").c_str(), 1);
    ServiceManager gone;
    EXPECT_FALSE(gone.ready("started"));
    EXPECT_FALSE(gone.keepAlive());
    ::unsetenv("NOTIFY_SOCKET");
    ServiceManager none;
    EXPECT_TRUE(none.ready("started"));
    EXPECT_TRUE(none.keepAlive());
}

// Standard error goes to a file for each case; JOURNAL_STREAM names that file,
// another one, or nothing that parses.
class JournalTest : public halcyra::test::FolderTest {
protected:
    void TearDown() override
    {
        ::unsetenv("JOURNAL_STREAM");
        FolderTest::TearDown();
    }

    static std::string streamOf(const std::string &path)
    {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    }

    // What one message wrote to standard error.
    std::string written(halcyra::journal::Priority priority, const std::string &message, const std::string &stream)
    {
        const std::string path = at("stderr");
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int saved = ::dup(STDERR_FILENO);
        ::dup2(file, STDERR_FILENO);
        ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
        halcyra::journal::write(priority, message);
        ::dup2(saved, STDERR_FILENO);
        ::close(saved);
        ::close(file);
        return readFile(path);
    }
};

TEST_F(JournalTest, ThePrefixAppearsOnlyWhenStandardErrorIsTheJournal)
{
    using P = halcyra::journal::Priority;
    halcyra::test::writeFile(at("stderr"), "");
    halcyra::test::writeFile(at("other"), "");
    const std::string self = streamOf(at("stderr"));
    struct Case {
        P priority;
        std::string message, stream, expected;
    } cases[] = {
        {P::Critical, "archive gone", self, "<2>archive gone\n"},
        {P::Error, "server refused", self, "<3>server refused\n"},
        {P::Warning, "log missing", self, "<4>log missing\n"},
        {P::Notice, "log rotated", self, "<5>log rotated\n"},
        {P::Info, "3 frames", self, "<6>3 frames\n"},
        // One entry each, whatever the message holds.
        {P::Error, "line\r\nREADY\rx\ny", self, "<3>line  READY x y\n"},
        {P::Error, std::string("a\0b", 3), self, "<3>a b\n"},
        {P::Info, "multi\nline", "", "multi line\n"},
        // A stream inherited from a parent, then redirected to a file.
        {P::Error, "to a file", streamOf(at("other")), "to a file\n"},
        {P::Error, "not a stream", self + "x", "not a stream\n"},
        {P::Error, "not a stream", self + ":", "not a stream\n"},
        {P::Error, "not a stream", "garbage", "not a stream\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(written(c.priority, c.message, c.stream), c.expected) << "JOURNAL_STREAM=" << c.stream;
}

} // namespace
