// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archivewriter.h"

#include <algorithm>
#include <utility>

namespace halcyra {

namespace {

using Reason = archive::ArchiveError::Reason;

// What waiting cannot mend: the file is no archive of this program, is
// damaged, or a newer program wrote it. Users must act; the program says so
// and ends rather than retrying for ever.
bool retryable(Reason reason)
{
    return reason != Reason::NotAnArchive && reason != Reason::Damaged && reason != Reason::NewerVersion;
}

std::string secondsText(std::int64_t ms)
{
    return std::to_string((ms + 999) / 1000) + " s";
}

} // namespace

ArchiveWriter::ArchiveWriter(Opener open, archive::Origin origin, WriterPolicy policy)
    : open_(std::move(open)), origin_(std::move(origin)), policy_(policy)
{
    policy_.batchFrames = std::max<std::size_t>(policy_.batchFrames, 1);
    policy_.queueLimit = std::max(policy_.queueLimit, policy_.batchFrames);
}

ArchiveWriter::~ArchiveWriter() = default;

bool ArchiveWriter::open(std::int64_t nowMs)
{
    return usable(nowMs);
}

void ArchiveWriter::push(const archive::LoggedFrame &frame, std::int64_t nowMs)
{
    queue_.push_back(frame);
    arrived_.push_back(nowMs);
    if (full() && !saidFull_) {
        saidFull_ = true;
        say(WriterEvent::Kind::Full,
            std::to_string(queue_.size()) + " frames wait for the archive: reading the log pauses until it takes them");
    }
}

std::optional<std::int64_t> ArchiveWriter::dueAt() const
{
    if (queue_.empty())
        return std::nullopt;
    const std::int64_t batchDue =
        queue_.size() >= policy_.batchFrames ? arrived_.front() : arrived_.front() + policy_.maxDelayMs;
    return failing_ ? std::max(batchDue, retryAt_) : batchDue;
}

void ArchiveWriter::write(std::int64_t nowMs, bool all)
{
    if (queue_.empty() || (failing_ && nowMs < retryAt_))
        return;
    while (!queue_.empty()) {
        const bool due = all || queue_.size() >= policy_.batchFrames || nowMs >= arrived_.front() + policy_.maxDelayMs;
        if (!due || !writeBatch(nowMs, std::min(queue_.size(), policy_.batchFrames)))
            return;
    }
}

bool ArchiveWriter::usable(std::int64_t nowMs)
{
    if (archive_)
        return true;
    try {
        archive_ = open_();
        return true;
    } catch (const archive::ArchiveError &error) {
        failed(error, nowMs);
        return false;
    }
}

bool ArchiveWriter::writeBatch(std::int64_t nowMs, std::size_t count)
{
    if (!usable(nowMs))
        return false;
    batch_.assign(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
    decoded_.clear();
    for (const archive::LoggedFrame &frame : batch_)
        decoded_.push_back(archive::decodeFrame(frame));
    archive::AddCounts counts;
    try {
        counts = archive_->add(decoded_, origin_);
    } catch (const archive::ArchiveError &error) {
        failed(error, nowMs);
        return false;
    }
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
    arrived_.erase(arrived_.begin(), arrived_.begin() + static_cast<std::ptrdiff_t>(count));
    if (failing_) {
        failing_ = false;
        lastFailure_.clear();
        say(WriterEvent::Kind::Recovered, "the archive takes frames again: " + std::to_string(queue_.size() + count) +
                                              " frames that waited are being written");
    }
    retryDelay_ = 0;
    if (queue_.size() < policy_.queueLimit)
        saidFull_ = false;
    if (written_)
        written_({counts, batch_});
    return true;
}

void ArchiveWriter::failed(const archive::ArchiveError &error, std::int64_t nowMs)
{
    if (!retryable(error.reason()))
        throw error;
    // A broken connection is not mended by asking it again: the next try
    // opens the archive anew.
    if (error.reason() == Reason::Unreachable)
        archive_.reset();
    retryDelay_ = retryDelay_ == 0 ? policy_.firstRetryMs : std::min(retryDelay_ * 2, policy_.lastRetryMs);
    retryAt_ = nowMs + retryDelay_;
    failing_ = true;
    // One message per failure, not one per try: the journal of a night with
    // the server down holds a line, not thousands.
    if (error.what() != lastFailure_) {
        lastFailure_ = error.what();
        say(WriterEvent::Kind::Failed, lastFailure_ + "; " + std::to_string(queue_.size()) +
                                           " frames wait, trying again in " + secondsText(retryDelay_) +
                                           " and then less often");
    }
}

void ArchiveWriter::say(WriterEvent::Kind kind, std::string text)
{
    if (event_)
        event_({kind, std::move(text)});
}

} // namespace halcyra
