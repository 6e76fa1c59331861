// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "appendlog.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

AppendLog::AppendLog(std::string path) : path_(std::move(path)) {}

AppendLog::~AppendLog()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::string AppendLog::open()
{
    const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        return error_ = path_ + ": " + std::strerror(errno);
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
    error_.clear();
    return {};
}

bool AppendLog::current() const
{
    struct stat open {
    }, named{};
    return fd_ >= 0 && ::fstat(fd_, &open) == 0 && ::stat(path_.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool AppendLog::append(std::string_view text)
{
    if (!current() && !open().empty())
        return false;
    while (!text.empty()) {
        const ssize_t n = ::write(fd_, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = path_ + ": " + (n < 0 ? std::strerror(errno) : "nothing written");
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    error_.clear();
    return true;
}

} // namespace halcyra
