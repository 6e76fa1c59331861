// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"
#include "lines.h"
#include "parser.h"
#include "receivetime.h"

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
    const FrameCounts &lines() const { return scanner_.counts(); }
    std::uint64_t overlongLines() const { return splitter_.overlongLines(); }

private:
    void scanLine(std::string_view line);

    Archive &archive_;
    ImportOptions options_;
    LineSplitter splitter_;
    LogScanner scanner_;
    ReceiveClock clock_;
    bool archiving_ = true;
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
