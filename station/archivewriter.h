// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"
#include "importer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace halcyra {

struct WriterPolicy {
    // Frames per transaction once many wait (a log read at start).
    std::size_t batchFrames = 5'000;
    // How long a frame waits for others to share its transaction: a pass
    // brings a frame every few seconds, each committed well within a second.
    std::int64_t maxDelayMs = 250;
    // Frames held while the archive cannot take them; beyond, the station
    // stops reading its log (the frames stay in the file) until it can.
    std::size_t queueLimit = 100'000;
    std::int64_t firstRetryMs = 1'000;
    std::int64_t lastRetryMs = 60'000;
};

// A batch the archive took: what it added and what it held already, and the
// frames themselves (for their receive times).
struct WrittenBatch {
    archive::AddCounts counts;
    std::span<const archive::LoggedFrame> frames;
};

// How the writer's trouble reads, for the caller's messages.
struct WriterEvent {
    enum class Kind : std::uint8_t {
        Failed,    // a write or an opening failed: frames wait, it is tried again
        Recovered, // the archive takes frames again
        Full,      // the queue is full: reading pauses
    };
    Kind kind;
    std::string text;
};

// The station's way into its archive: frames queue as they are read, and
// go in as one transaction per batch, by count and by time. An archive that
// is gone (a server down, a file busy or on a full disk) is tried again with
// a growing back-off while frames wait in memory, up to a bound; nothing is
// dropped. What retrying cannot mend (a file that is no archive, a damaged
// one, one of a newer version) is thrown as the ArchiveError.
//
// Plain C++ and single-threaded: the caller's loop calls write() when
// dueAt() says, with its own monotonic clock.
class ArchiveWriter {
public:
    using Opener = std::function<std::unique_ptr<archive::Archive>()>;
    using WrittenHandler = std::function<void(const WrittenBatch &)>;
    using EventHandler = std::function<void(const WriterEvent &)>;

    ArchiveWriter(Opener open, archive::Origin origin, WriterPolicy policy = {});
    ~ArchiveWriter();

    void onWritten(WrittenHandler handler) { written_ = std::move(handler); }
    void onEvent(EventHandler handler) { event_ = std::move(handler); }

    // Opens the archive now rather than at the first write, so that an
    // archive that cannot be used is said at start. False when it must be
    // tried again (the event said why).
    bool open(std::int64_t nowMs);

    void push(const archive::LoggedFrame &frame, std::int64_t nowMs);
    bool full() const { return queue_.size() >= policy_.queueLimit; }
    std::size_t waiting() const { return queue_.size(); }
    // The archive failed its last write or opening, and is being tried again.
    bool failing() const { return failing_; }

    // Writes the batches that are due: full ones, and those whose first frame
    // waited maxDelayMs; every frame with `all`. While the archive fails,
    // only when the back-off allows.
    void write(std::int64_t nowMs, bool all = false);
    // When write() has work next: nothing while no frame waits.
    std::optional<std::int64_t> dueAt() const;

private:
    bool writeBatch(std::int64_t nowMs, std::size_t count);
    bool usable(std::int64_t nowMs);
    void failed(const archive::ArchiveError &error, std::int64_t nowMs);
    void say(WriterEvent::Kind kind, std::string text);

    Opener open_;
    archive::Origin origin_;
    WriterPolicy policy_;
    std::unique_ptr<archive::Archive> archive_;
    std::deque<archive::LoggedFrame> queue_;
    std::deque<std::int64_t> arrived_; // when each queued frame came, for maxDelayMs
    std::vector<archive::LoggedFrame> batch_;
    std::vector<archive::ArchiveFrame> decoded_;
    bool failing_ = false;
    bool saidFull_ = false;
    std::string lastFailure_;
    std::int64_t retryAt_ = 0;
    std::int64_t retryDelay_ = 0;
    WrittenHandler written_;
    EventHandler event_;
};

} // namespace halcyra
