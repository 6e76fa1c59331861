// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace halcyra::journal {

namespace {

// JOURNAL_STREAM is "DEVICE:INODE" of the stream the manager connected; it is
// inherited by every child and stays set after a redirection, so only a match
// with what standard error is now tells that the journal reads it. Asked at
// every line, as standard error may be redirected at any time.
bool stderrIsJournal()
{
    const char *stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr)
        return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    int end = 0;
    if (std::sscanf(stream, "%llu:%llu%n", &device, &inode, &end) != 2 || stream[end] != '\0')
        return false;
    struct stat st {};
    if (::fstat(STDERR_FILENO, &st) != 0)
        return false;
    return st.st_dev == device && st.st_ino == inode;
}

// One write(2) for the whole line, so that lines of threads never mix.
void writeAll(const std::string &line)
{
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nowhere left to say it
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

void write(Priority priority, std::string_view message)
{
    std::string line;
    line.reserve(message.size() + 4);
    if (stderrIsJournal()) {
        line += '<';
        line += static_cast<char>('0' + static_cast<int>(priority));
        line += '>';
    }
    // The journal also ends an entry at a NUL.
    for (char c : message)
        line += (c == '\n' || c == '\r' || c == '\0') ? ' ' : c;
    line += '\n';
    writeAll(line);
}

} // namespace halcyra::journal
