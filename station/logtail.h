// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// Which file, and how much of it, a follower has handed over. Device and inode
// tell a file that was replaced (log rotation) from one that only grew.
struct TailStamp {
    bool exists = false;
    bool regular = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t changed = 0; // status change time in ns: any write, also one that leaves the size

    bool sameFile(const TailStamp &o) const { return device == o.device && inode == o.inode; }
};

TailStamp tailStampOf(const std::string &path);
// The stamp of an open file: of what was read, whatever became of the path.
TailStamp tailStampOf(int fd);

// Why `text`, a whole file, is no text log for the window: "it holds NUL
// bytes, so it is not a text log" (a binary file, a UTF-16 text) or "it holds
// a line longer than 1 MiB"; empty when it is one.
std::string textLogRefusal(std::string_view text, std::int64_t maxLineLength);

// What a follower hands over, as it reads the file.
class TailSink {
public:
    virtual ~TailSink() = default;
    // The file was truncated, replaced or rewritten: what follows is the file
    // again from its first byte.
    virtual void restarted() = 0;
    // Bytes of the file, in its order, in pieces of any size.
    virtual void appended(std::string_view bytes) = 0;
    // False while the sink holds as much as it may: the follower stops
    // reading and goes on from there at a later check. Nothing is skipped.
    virtual bool wantsMore() { return true; }
};

// The rules of following a growing log, without an event loop of their own:
// the window drives them from a file watcher and a timer, the unattended
// station from inotify and poll(2). Each check() looks at the file and hands
// the sink what is new; `nowMs` is the caller's monotonic clock, so that tests
// can drive time.
//
// Rules: appends are handed over as they come, a line end split across writes
// included; a file truncated, replaced (rotation by renaming) or rewritten in
// place, even to its old size or longer, is read again from its start (its
// first and last 4 KiB handed over tell a rewrite); a path that is empty for
// less than the grace time is a rotation, not a disappearance.
class LogTail {
public:
    struct Policy {
        // The window stops following a log that has gone; the station waits
        // for it to come back, as it waits for a log that does not exist yet.
        bool waitWhileMissing = false;
        std::int64_t missingGraceMs = 500;
        // A file larger than this ends following (the window's limit); 0: none.
        std::int64_t sizeLimit = 0;
        // The window refuses what is no text log: NUL bytes, a line longer than
        // maxLineLength. The station hands every byte over; its line splitter
        // skips overlong lines.
        bool textOnly = false;
        std::int64_t maxLineLength = std::int64_t{1} << 20;
        // Read at most this much per check: a sink that fills stops earlier.
        std::int64_t readBudget = std::int64_t{8} << 20;
    };

    enum class State : std::uint8_t {
        Following, // the file is there and read to where the sink wanted
        Waiting,   // the file is missing (station), or missing within the grace time
        Stopped,   // following ended: stopReason() says why
    };

    LogTail(std::string path, Policy policy);

    // Goes on from the end of `text`, the whole file as the caller read it
    // (the window's log box) with the stamp taken after reading.
    void resumeAfter(std::string_view text, const TailStamp &stamp);
    // Hands over the whole file at the next check (the station at start).
    void startFromBeginning();
    // Follows again after a stop, from where the last complete check left
    // off (the window's Follow menu); a missing file has its grace time anew.
    // A check that stops hands over nothing that counts: the caller drops
    // what it got in that check, and position() stays where it began.
    void resume();

    State check(std::int64_t nowMs, TailSink &sink);

    State state() const;
    // For "Following stopped: <reason>": the path and what happened to it,
    // e.g. "/home/op/pass.log has disappeared".
    const std::string &stopReason() const;
    const std::string &path() const;
    // Bytes of the current file handed over so far.
    std::int64_t position() const;
    // Whether the last check stopped because the sink was full, so that the
    // caller checks again soon rather than waiting for the file to change.
    bool behind() const;

private:
    // How far the current file has been handed over.
    struct Progress {
        bool known = false; // a file is being followed; else the next check reads one from 0
        TailStamp stamp;    // its identity and status change time as last read
        std::int64_t position = 0;
        // Its first and its last bytes handed over: a file rewritten in place,
        // even to its old size or longer, no longer holds them.
        std::string head;
        std::string tail;
        std::int64_t lastLine = 0; // length of the last line while it has no line end
    };

    State missing(std::int64_t nowMs);
    State stop(const std::string &what);
    State follow(int fd, bool again, TailSink &sink);
    State readOn(int fd, bool again, TailSink &sink);
    std::optional<bool> sameEnds(int fd) const;
    std::string refusal(std::string_view piece, bool again);
    void take(std::string_view piece);

    std::string path_;
    Policy policy_;
    State state_ = State::Following;
    std::string reason_;
    Progress at_;
    std::optional<std::int64_t> missingSince_;
    bool behind_ = false;
};

} // namespace halcyra
