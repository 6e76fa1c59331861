// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// One output of halcyra-decode. A regular file (or a name not yet taken) is
// written to a temporary file beside it, "NAME.tmp-XXXXXX", which replaces it
// only on commit(), after fsync: a run that fails or is interrupted leaves the
// previous file whole. Standard output ("-") and existing files that are not
// regular files (a terminal, a pipe, /dev/null) are written directly, as the
// text comes.
class OutputFile {
public:
    explicit OutputFile(std::string path);
    ~OutputFile(); // removes a temporary file that was not committed
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool open();
    bool write(std::string_view text); // once a write has failed, the others are ignored
    bool flush();                      // everything written has reached the disk
    bool commit();                     // after flush(): the temporary takes the file's place
    void discard();

    bool failed() const { return !error_.empty(); }
    const std::string &error() const { return error_; } // names the file and the reason
    const std::string &path() const { return path_; }
    bool isStandardOutput() const { return path_ == "-"; }

private:
    bool fail(const std::string &what);

    std::string path_;
    std::string target_; // the file that is replaced: path_ with a symbolic link resolved
    std::string temp_;   // empty when written directly
    int fd_ = -1;
    int cleanupSlot_ = -1;
    std::string error_;
};

// Removes the temporary files still open when SIGINT, SIGTERM, SIGHUP or
// SIGPIPE ends the program. Signals ignored by the caller stay ignored.
void installCleanupOnSignals();

// Whether two output names refer to the same file, which would lose one output.
bool sameOutput(const std::string &a, const std::string &b);

} // namespace halcyra
