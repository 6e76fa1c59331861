// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"
#include "lines.h"
#include "parser.h"
#include "receivetime.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace halcyra::archive {

struct ImportOptions {
    Origin origin{};
    // The day of clock-only stamps before the log's first UTC line (--date).
    std::optional<std::int64_t> fallbackDay{};
    // Set while a log is followed: the current UTC time, read at each feed,
    // dates clock-only stamps that no UTC line precedes.
    std::function<UtcMillis()> now{};
    // Frames per transaction: few enough to hold little memory and the write
    // lock briefly, many enough that commits do not dominate.
    std::size_t batchFrames = 10'000;
    std::size_t maxLineLength = std::size_t{1} << 20; // see LineSplitter
};

// A frame as the log writes it, before it is decoded: tag and payload,
// blanks removed, with its frame time and receive time. A station keeps
// frames in this form while its archive cannot take them: a third of the
// memory of a decoded frame.
struct LoggedFrame {
    FrameKind kind = FrameKind::T1;
    std::uint8_t length = 0;
    std::array<char, kT1FrameLength> text{};
    FrameTimeText frameTime;
    std::optional<UtcMillis> received;
    Ax25Bytes ax25; // from a TNC: the frame for the archive's ax25_hex

    std::string_view view() const { return {text.data(), length}; }
};

// The frame as the archive takes it: its payload and its decoded record.
ArchiveFrame decodeFrame(const LoggedFrame &logged);

// The frames of a log that arrives in chunks of any size, with the window's
// line rules and receive times: every program that archives a log reads it
// with this. The whole input is one text, as for BatchDecoder.
class FrameReader {
public:
    explicit FrameReader(const ImportOptions &options);

    // Calls onFrame(const LoggedFrame &) for every frame the chunk completes.
    template <typename OnFrame> void feed(std::string_view chunk, OnFrame &&onFrame)
    {
        if (now_)
            clock_.setNow(now_());
        splitter_.feed(chunk, [&](std::string_view line) {
            if (scanLine(line))
                onFrame(frame_);
        });
    }
    // Ends the text: its last line, when it has no line end.
    template <typename OnFrame> void finish(OnFrame &&onFrame)
    {
        splitter_.finish([&](std::string_view line) {
            if (scanLine(line))
                onFrame(frame_);
        });
    }

    // The frame on the line begun and not yet ended, if it holds one, without
    // taking the line: a follower's last line, which a receiver that ends its
    // lines only when it begins the next one leaves open until the next frame.
    // When the line ends it is read again; the archive keeps its first copy.
    template <typename OnFrame> void peekUnfinished(OnFrame &&onFrame) const
    {
        FrameReader copy(*this);
        if (const std::string_view line = splitter_.unfinished(); !line.empty() && copy.scanLine(line))
            onFrame(copy.frame_);
    }

    const FrameCounts &lines() const { return scanner_.counts(); }
    std::uint64_t overlongLines() const { return splitter_.overlongLines(); }

private:
    bool scanLine(std::string_view line);

    std::function<UtcMillis()> now_;
    LineSplitter splitter_;
    LogScanner scanner_;
    ReceiveClock clock_;
    LoggedFrame frame_;
};

// Adds the frames of a log that arrives in chunks of any size, with the
// window's line rules and decoding: the whole input is one text, as for
// BatchDecoder. Frames are written in batches, each one transaction, so an
// import that is killed leaves whole batches, and importing the log again
// completes it (what is already there is counted, not added).
//
// An ArchiveError ends the import: the batches written before it stay.
class LogImporter {
public:
    LogImporter(Archive &archive, ImportOptions options);

    void feed(std::string_view chunk);
    // Reads the chunk for its time stamps only and archives none of its
    // frames: the text a followed log held before archiving began.
    void skip(std::string_view chunk);
    // Writes the queued frames now: a followed log's frames as they arrive.
    void flush();
    // The frames from here on come from another file of the same text (the
    // batch tool's logs, read as one): those queued are written first.
    void setOrigin(Origin origin);
    // Ends the text: its last line, then everything queued is written.
    void finish();

    const AddCounts &counts() const { return counts_; } // frames written so far
    const FrameCounts &lines() const { return reader_.lines(); }
    std::uint64_t overlongLines() const { return reader_.overlongLines(); }

private:
    void take(const LoggedFrame &frame);

    Archive &archive_;
    ImportOptions options_;
    FrameReader reader_;
    std::vector<ArchiveFrame> queue_;
    AddCounts counts_;
};

// Progress of a whole text: bytes done of the total; return false to cancel.
using ImportProgress = std::function<bool(std::size_t done, std::size_t total)>;

struct TextImport {
    AddCounts counts;
    FrameCounts lines;
    bool cancelled = false;
};

// The window's "add the log to the archive": the whole text, reporting
// progress after every slice of kProgressSlice bytes. Cancelling keeps the
// batches already written; adding the text again completes it.
inline constexpr std::size_t kProgressSlice = std::size_t{1} << 20;
TextImport importText(Archive &archive, std::string_view text, const ImportOptions &options,
                      const ImportProgress &progress = {});

} // namespace halcyra::archive
