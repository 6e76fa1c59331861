// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace halcyra {

// One output of halcyra-decode or of `halcyra --plot`. A regular file (or a name not yet taken) is
// written to a temporary file in the same folder, which replaces it only on
// commit(), after fsync: a run that fails or is interrupted leaves the
// previous file whole. A symbolic link is written through, also one whose
// target does not exist yet. Standard output ("-") and existing files that
// are not regular files (a terminal, a pipe, /dev/null) are written directly,
// as the text comes.
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
    // Two pieces that follow each other, written together.
    bool write(std::string_view first, std::string_view second);

    bool failed() const { return !error_.empty(); }
    const std::string &error() const { return error_; } // names the file and the reason
    const std::string &path() const { return path_; }
    bool isStandardOutput() const { return path_ == "-"; }
    bool replacesFile() const { return !temp_.empty(); } // false once committed or discarded

private:
    bool fail(const std::string &what);

    std::string path_;
    std::string target_; // the file that is replaced: path_ with symbolic links followed
    std::string temp_;   // empty when written directly
    int fd_ = -1;
    off_t written_ = 0;  // bytes written so far
    off_t syncedTo_ = 0; // where the disk writes started so far end
    int cleanupSlot_ = -1;
    std::string error_;
};

// Commits every output, or none once one has failed; false when one failed.
// SIGINT, SIGTERM, SIGHUP and SIGPIPE wait until the last file is in place, so
// an interrupted run leaves all files old or all new, never a mix.
bool commitAll(const std::vector<std::unique_ptr<OutputFile>> &outputs);

// Removes the temporary files still open when SIGINT, SIGTERM, SIGHUP or
// SIGPIPE ends the program. Signals ignored by the caller stay ignored.
void installCleanupOnSignals();

// What the same-file checks compare: the file a name reaches now, and the
// place a file written through the name would take when there is none yet.
struct FileIdentity {
    bool exists = false;
    bool regular = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::string place; // absolute, links followed; empty for a standard stream
};

// `standardFd` is the descriptor that "-" stands for.
FileIdentity identifyFile(const std::string &name, int standardFd);

// Two names of one regular file, or of one place for a file not there yet.
// Two names of one device (/dev/null twice) are not the same file: they do no
// harm.
bool sameFile(const FileIdentity &a, const FileIdentity &b);

} // namespace halcyra
