// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// A packet log that frames are appended to as they come: opened with
// O_APPEND (created when missing), so that lines from another writer never
// interleave inside one of ours; opened again when the path names another
// file (a rotation renamed it away) or none.
class AppendLog {
public:
    explicit AppendLog(std::string path);
    ~AppendLog();
    AppendLog(const AppendLog &) = delete;
    AppendLog &operator=(const AppendLog &) = delete;

    // Empty when the log can be written; else why not ("PATH: reason").
    std::string open();
    // Writes `text` whole; false with error() set when it could not (a full
    // disk): the caller says so, the next append tries again.
    bool append(std::string_view text);
    const std::string &error() const { return error_; }
    const std::string &path() const { return path_; }

private:
    bool current() const;

    std::string path_;
    int fd_ = -1;
    std::string error_;
};

} // namespace halcyra
