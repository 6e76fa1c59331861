// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logtail.h"

#include "lines.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

// A file truncated and written again between two looks has the same inode
// and may have grown: its first and last bytes handed over tell it apart. A
// rewritten log (time stamps, counters) does not match 4 KiB of each by chance.
constexpr std::size_t kSampleBytes = 4096;
// However large the file or an append, no more than this is held at a time.
constexpr std::int64_t kPieceBytes = 64 * 1024;
constexpr std::int64_t kMiB = 1024 * 1024;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

TailStamp stampOf(const struct stat &st)
{
    TailStamp s;
    s.exists = true;
    s.regular = S_ISREG(st.st_mode);
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::int64_t>(st.st_size);
    s.changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    return s;
}

// The window's messages have named the limits in these words since they were set.
std::string sizeText(std::int64_t bytes, const char *megabytes)
{
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " " + megabytes : std::to_string(bytes) + " bytes";
}

std::string errorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

// Reads up to `length` bytes at `at`, fewer only at the end of the file;
// -1 on an error, with errno set.
std::int64_t readAt(int fd, char *to, std::int64_t length, std::int64_t at)
{
    std::int64_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, to + done, static_cast<std::size_t>(length - done), at + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

// The longest line of `text`, whose first line continues one of `open`
// bytes, and the length of its last line while it has no line end.
struct LineLengths {
    std::int64_t longest = 0;
    std::int64_t last = 0;
};
LineLengths lineLengths(std::string_view text, std::int64_t open = 0)
{
    LineLengths r;
    const std::string_view rest = forEachCompleteLine(text, [&](std::string_view line) {
        r.longest = std::max(r.longest, open + static_cast<std::int64_t>(line.size()));
        open = 0;
    });
    r.last = open + static_cast<std::int64_t>(rest.size());
    r.longest = std::max(r.longest, r.last);
    return r;
}

std::int64_t lastLineLength(std::string_view text)
{
    const std::size_t end = text.find_last_of("\r\n");
    return static_cast<std::int64_t>(end == std::string_view::npos ? text.size() : text.size() - end - 1);
}

// What a text log may not hold, said of a file as it is opened or, `now`, of
// what was appended to one that was followed.
std::string holds(bool nul, std::int64_t maxLineLength, bool now)
{
    if (nul)
        return now ? "now holds NUL bytes, so it is no longer a text log" : "holds NUL bytes, so it is not a text log";
    return std::string(now ? "now holds" : "holds") + " a line longer than " + sizeText(maxLineLength, "MiB");
}

} // namespace

TailStamp tailStampOf(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? stampOf(st) : TailStamp{};
}

TailStamp tailStampOf(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? stampOf(st) : TailStamp{};
}

std::string textLogRefusal(std::string_view text, std::int64_t maxLineLength)
{
    if (text.find('\0') != std::string_view::npos)
        return "it " + holds(true, maxLineLength, false);
    if (lineLengths(text).longest > maxLineLength)
        return "it " + holds(false, maxLineLength, false);
    return {};
}

LogTail::LogTail(std::string path, Policy policy) : path_(std::move(path)), policy_(policy) {}

void LogTail::resumeAfter(std::string_view text, const TailStamp &stamp)
{
    at_ = Progress{};
    at_.known = true;
    at_.stamp = stamp;
    take(text);
    at_.lastLine = lastLineLength(text);
    state_ = State::Following;
    reason_.clear();
    missingSince_.reset();
    behind_ = false;
}

void LogTail::startFromBeginning()
{
    at_ = Progress{};
    state_ = State::Following;
    reason_.clear();
    missingSince_.reset();
    behind_ = false;
}

void LogTail::resume()
{
    if (state_ == State::Stopped)
        state_ = State::Following;
    reason_.clear();
    missingSince_.reset();
}

LogTail::State LogTail::check(std::int64_t nowMs, TailSink &sink)
{
    behind_ = false;
    if (state_ == State::Stopped)
        return state_;
    const TailStamp seen = tailStampOf(path_);
    if (!seen.exists)
        return missing(nowMs);
    if (!seen.regular)
        return stop(at_.known ? " is no longer a regular file" : " is not a regular file");
    const bool again = !at_.known || !seen.sameFile(at_.stamp) || seen.size < at_.position;
    // Not blocking: a FIFO put in the file's place since the look would wait
    // for a writer.
    const Fd fd(::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            return missing(nowMs); // renamed away since the look
        return stop((again ? ": it cannot be read (" : " cannot be read (") + errorText(error) + ")");
    }
    missingSince_.reset();
    state_ = State::Following;
    const Progress before = at_;
    if (follow(fd.get(), again, sink) == State::Stopped)
        at_ = before;
    return state_;
}

LogTail::State LogTail::follow(int fd, bool again, TailSink &sink)
{
    const TailStamp opened = tailStampOf(fd);
    if (!opened.regular)
        return stop(": it is not a regular file");
    again = again || !opened.sameFile(at_.stamp) || opened.size < at_.position; // replaced since the look
    if (!again && policy_.sizeLimit > 0 && opened.size > policy_.sizeLimit)
        return stop(" has grown beyond " + sizeText(policy_.sizeLimit, "MB"));
    if (!again) {
        const std::optional<bool> same = sameEnds(fd);
        if (!same)
            return stop(" cannot be read (" + errorText(errno) + ")");
        // Written to without growing: rewritten in place, where its ends are alike.
        again = !*same || (opened.size == at_.position && opened.changed != at_.stamp.changed);
    }
    if (!again)
        return readOn(fd, false, sink);
    if (policy_.sizeLimit > 0 && opened.size > policy_.sizeLimit)
        return stop(": it is larger than " + sizeText(policy_.sizeLimit, "MB"));
    at_ = Progress{};
    at_.known = true;
    at_.stamp = opened;
    sink.restarted();
    return readOn(fd, true, sink);
}

// Hands over what follows position() to the end of the file, as far as the
// budget and the sink allow. Read to the end rather than to the size seen:
// pseudo-files report none, and the status change time taken after reading
// then covers every byte read.
LogTail::State LogTail::readOn(int fd, bool again, TailSink &sink)
{
    const std::int64_t limit = policy_.sizeLimit;
    std::int64_t budget = policy_.readBudget;
    bool full = false;
    std::string piece;
    while (budget > 0 && !(full = !sink.wantsMore())) {
        std::int64_t want = std::min(kPieceBytes, budget);
        if (limit > 0) // one byte beyond the limit tells a file too large
            want = std::min(want, limit + 1 - at_.position);
        piece.resize(static_cast<std::size_t>(want));
        const std::int64_t got = readAt(fd, piece.data(), want, at_.position);
        if (got < 0)
            return stop((again ? ": it cannot be read (" : " cannot be read (") + errorText(errno) + ")");
        piece.resize(static_cast<std::size_t>(got));
        if (limit > 0 && at_.position + got > limit)
            return stop((again ? ": it is larger than " : " has grown beyond ") + sizeText(limit, "MB"));
        if (const std::string why = refusal(piece, again); !why.empty())
            return stop(why);
        if (got > 0) {
            take(piece);
            sink.appended(piece);
        }
        budget -= got;
        if (got < want)
            break;
    }
    const TailStamp after = tailStampOf(fd);
    at_.stamp.changed = after.changed;
    behind_ = (budget <= 0 || full) && at_.position < after.size;
    return state_;
}

std::optional<bool> LogTail::sameEnds(int fd) const
{
    const auto holdsAt = [fd](const std::string &sample, std::int64_t at) -> std::optional<bool> {
        std::string now(sample.size(), '\0');
        const std::int64_t got = readAt(fd, now.data(), static_cast<std::int64_t>(now.size()), at);
        if (got < 0)
            return std::nullopt;
        return static_cast<std::size_t>(got) == now.size() && now == sample;
    };
    const std::optional<bool> head = holdsAt(at_.head, 0);
    if (!head || !*head)
        return head;
    return holdsAt(at_.tail, at_.position - static_cast<std::int64_t>(at_.tail.size()));
}

// Why the window refuses a piece as no text log; empty when it takes it.
std::string LogTail::refusal(std::string_view piece, bool again)
{
    if (!policy_.textOnly)
        return {};
    const bool nul = piece.find('\0') != std::string_view::npos;
    const LineLengths lines = lineLengths(piece, at_.lastLine);
    if (!nul && lines.longest <= policy_.maxLineLength) {
        at_.lastLine = lines.last;
        return {};
    }
    return (again ? ": it " : " ") + holds(nul, policy_.maxLineLength, !again);
}

void LogTail::take(std::string_view piece)
{
    if (at_.head.size() < kSampleBytes)
        at_.head.append(piece.substr(0, kSampleBytes - at_.head.size()));
    if (piece.size() >= kSampleBytes) {
        at_.tail.assign(piece.substr(piece.size() - kSampleBytes));
    } else {
        at_.tail.append(piece);
        if (at_.tail.size() > kSampleBytes)
            at_.tail.erase(0, at_.tail.size() - kSampleBytes);
    }
    at_.position += static_cast<std::int64_t>(piece.size());
}

LogTail::State LogTail::missing(std::int64_t nowMs)
{
    // Whatever comes back at the path is read from its start.
    at_.known = false;
    if (!policy_.waitWhileMissing) {
        if (!missingSince_)
            missingSince_ = nowMs;
        else if (nowMs - *missingSince_ >= policy_.missingGraceMs)
            return stop(" has disappeared");
    }
    state_ = State::Waiting;
    return state_;
}

LogTail::State LogTail::stop(const std::string &what)
{
    state_ = State::Stopped;
    reason_ = path_ + what;
    return state_;
}

LogTail::State LogTail::state() const
{
    return state_;
}

const std::string &LogTail::stopReason() const
{
    return reason_;
}

const std::string &LogTail::path() const
{
    return path_;
}

std::int64_t LogTail::position() const
{
    return at_.position;
}

bool LogTail::behind() const
{
    return behind_;
}

} // namespace halcyra
