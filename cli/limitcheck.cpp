// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "limitcheck.h"

#include "archive.h"
#include "archiveio.h"
#include "importer.h"
#include "limittext.h"
#include "numtext.h"
#include "outputset.h"
#include "receivetime.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr const char *kHeader = "received_utc;frame_time;field;value;state;bound;limit\n";

std::string changeLine(const LimitChange &change, const std::optional<UtcMillis> &received,
                       const FrameTimeText &frameTime)
{
    std::string line = received ? formatUtcString(*received) : std::string();
    line += ';';
    line += frameTime.view();
    line += ';' + limitsFieldName(change.field) + ';' + generalText(change.value) + ';' +
            std::string(limitStateName(change.state)) + ';' + std::string(limitBoundName(change.bound)) + ';' +
            generalText(change.limit) + '\n';
    return line;
}

// The changes of one run, written as they come, and the worst state reached.
class ChangeWriter {
public:
    explicit ChangeWriter(const Limits &limits) : evaluator_(limits) {}

    void feed(FrameKind kind, const TelemetryRecord &record, const std::optional<UtcMillis> &received)
    {
        for (const LimitChange &change : evaluator_.feed(kind, record)) {
            worst_ = std::max(worst_, change.state);
            lines_.emplace_back(received.value_or(0), changeLine(change, received, record.FrameTime));
        }
    }
    // The lines so far, in the order of their receive times where `sort`;
    // false when standard output failed.
    bool flush(bool sort)
    {
        if (sort)
            std::stable_sort(lines_.begin(), lines_.end(),
                             [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &[at, line] : lines_)
            std::fputs(line.c_str(), stdout);
        lines_.clear();
        return !std::ferror(stdout);
    }
    void reset() { evaluator_.reset(); }
    LimitState worst() const { return worst_; }

private:
    LimitEvaluator evaluator_;
    LimitState worst_ = LimitState::Green;
    std::vector<std::pair<UtcMillis, std::string>> lines_;
};

// One log into the writer; false with the reason when it could not be read
// to its end.
bool checkLog(const std::string &name, bool inputClosed, archive::FrameReader &reader, ChangeWriter &changes,
              std::string &error)
{
    const bool standardInput = name == "-";
    if (standardInput && inputClosed) {
        error = std::strerror(EBADF);
        return false;
    }
    const int fd = standardInput ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const auto take = [&](const archive::LoggedFrame &logged) {
        const archive::ArchiveFrame frame = archive::decodeFrame(logged);
        changes.feed(frame.kind, frame.record, frame.received);
    };
    std::vector<char> buffer(64 * 1024);
    bool ok = true;
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = std::strerror(errno);
            ok = false;
            break;
        }
        reader.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)), take);
        changes.flush(false);
    }
    if (!standardInput)
        ::close(fd);
    return ok;
}

int checkLogs(const DecodeOptions &options, bool inputClosed, ChangeWriter &changes)
{
    archive::ImportOptions readOptions;
    if (!options.date.empty())
        readOptions.fallbackDay = parseDate(options.date); // checked with the command line
    archive::FrameReader reader(readOptions);
    int status = 0;
    for (const std::string &log : options.logs) {
        std::string error;
        if (!checkLog(log, inputClosed, reader, changes, error)) {
            message((log == "-" ? std::string("standard input") : log) + ": " + error);
            status = 1;
        }
    }
    reader.finish([&](const archive::LoggedFrame &logged) {
        const archive::ArchiveFrame frame = archive::decodeFrame(logged);
        changes.feed(frame.kind, frame.record, frame.received);
    });
    if (reader.overlongLines() > 0) {
        message(std::to_string(reader.overlongLines()) + " line(s) longer than 1 MiB skipped");
        status = 1;
    }
    return status;
}

// Each field belongs to one kind of frame, so each kind's records can be
// followed on their own; the lines of both are then put in receive order.
int checkArchive(const DecodeOptions &options, ChangeWriter &changes)
{
    try {
        const std::unique_ptr<archive::Archive> archive =
            archive::openArchiveToRead(archiveLocation(options.fromArchive));
        archive::TimeRange range;
        if (!options.since.empty())
            range.since = parseUtcTime(options.since); // checked with the command line
        if (!options.until.empty())
            range.until = parseUtcTime(options.until);
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2})
            archive->forEachRecord(kind, range, [&](const archive::StoredRecord &stored) {
                changes.feed(kind, stored.record, stored.received);
                return true;
            });
    } catch (const archive::ArchiveError &error) {
        message(error.what());
        return 1;
    }
    return 0;
}

} // namespace

Limits limitsOfOption(const DecodeOptions::ArchiveChoice &choice)
{
    if (!choice.location.empty())
        return Limits::fromFile(choice.location);
    LoadedLimits loaded = loadLimits(std::nullopt);
    if (!loaded.path)
        throw LimitsError("--check-limits", 0, 0,
                          "no limits file: name one (--check-limits=FILE), or put one in "
                          "~/.config/halcyra/limits.toml or /etc/halcyra/limits.toml");
    return loaded.limits;
}

int checkLimits(const DecodeOptions &options, bool inputClosed, bool outputClosed)
{
    Limits limits;
    try {
        limits = limitsOfOption(options.checkLimits);
    } catch (const LimitsError &error) {
        message(error.what());
        return 1;
    }
    if (outputClosed) {
        message(std::string("standard output: ") + std::strerror(EBADF));
        return 1;
    }
    ChangeWriter changes(limits);
    std::fputs(kHeader, stdout);
    const bool fromArchive = options.fromArchive.given;
    int status = fromArchive ? checkArchive(options, changes) : checkLogs(options, inputClosed, changes);
    if (!changes.flush(fromArchive) || std::fflush(stdout) != 0) {
        message(std::string("standard output: ") + std::strerror(errno));
        return 1;
    }
    if (changes.worst() == LimitState::Red)
        return kReachedRed;
    if (changes.worst() == LimitState::Yellow)
        return kReachedYellow;
    return status;
}

} // namespace halcyra
