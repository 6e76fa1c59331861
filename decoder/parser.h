// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "frame.h"
#include "lines.h"
#include "record.h"

#include <array>
#include <optional>
#include <string_view>

namespace halcyra {

enum class LineFrame : std::uint8_t {
    None,
    T1,
    T2,
    T1WrongLength, // a T1 tag followed only by hex digits, but not 128 of them
    T2WrongLength,
};

// The time-stamp rule that last set the frame time on a line.
enum class StampRule : std::uint8_t {
    None,
    UtcLine,       // "2014-07-22 10:15:30.000 UTC"
    ReceiveMarker, // "[10:15:18R]"
    ClockPrefix,   // "10:15 " at the start of the line
};

struct LineOutcome {
    bool frameTimeShown = false; // a time-stamp rule fired: the frame-time label shows CurrentFrameTime
    // The stamp behind the frame time when a rule set it on this line, as the
    // line writes it (a view into the line): the 27 characters of a UTC line,
    // the "hh:mm:ss" of a receive marker (the frame time keeps only hh:mm),
    // the "hh:mm" of a clock prefix. The receive time of a frame comes from it.
    StampRule stamp = StampRule::None;
    std::string_view stampText;
    LineFrame frame = LineFrame::None;
    // The cleaned frame (tag and payload, blanks removed) for T1 and T2; it
    // points into the line or into the parser and is valid until the next line.
    std::string_view frameText;
};

// The rules for one log line. The only state carried from line to line is
// the current frame time, so a streaming reader can feed lines one by one.
class LineParser {
public:
    LineParser() = default;
    explicit LineParser(const FrameTimeText &frameTime) : CurrentFrameTime(frameTime) {}

    LineOutcome parse(std::string_view line);

    FrameTimeText CurrentFrameTime;

private:
    // One spare byte: the branch-free copy in parse() stores every blank too,
    // at the place of the next character, so blanks after the last frame
    // character land one past the frame.
    std::array<char, kT1FrameLength + 1> cleaned_{};
};

// What the lines of a log held, by frame kind.
struct FrameCounts {
    std::uint64_t t1Frames = 0;
    std::uint64_t t2Frames = 0;
    std::uint64_t t1WrongLength = 0; // a tag followed only by hex digits, but not as many as a frame has
    std::uint64_t t2WrongLength = 0;
};

// One handling of a parsed line for every reader of a log (the window's cycle,
// the batch decoder, the archive import): the line rules, the counts, and each
// complete frame handed to
//     onFrame(FrameKind kind, std::string_view frameText, const FrameTimeText &frameTime)
// where frameText is the cleaned frame (tag and payload), valid until the next line.
class LogScanner {
public:
    LogScanner() = default;
    explicit LogScanner(const FrameTimeText &frameTime) : parser_(frameTime) {}

    template <typename OnFrame> LineOutcome scan(std::string_view line, OnFrame &&onFrame)
    {
        const LineOutcome out = parser_.parse(line);
        frameTimeShown_ |= out.frameTimeShown;
        switch (out.frame) {
        case LineFrame::None:
            break;
        case LineFrame::T1:
            ++counts_.t1Frames;
            onFrame(FrameKind::T1, out.frameText, parser_.CurrentFrameTime);
            break;
        case LineFrame::T2:
            ++counts_.t2Frames;
            onFrame(FrameKind::T2, out.frameText, parser_.CurrentFrameTime);
            break;
        case LineFrame::T1WrongLength:
            ++counts_.t1WrongLength;
            break;
        case LineFrame::T2WrongLength:
            ++counts_.t2WrongLength;
            break;
        }
        return out;
    }

    const FrameCounts &counts() const { return counts_; }
    const FrameTimeText &frameTime() const { return parser_.CurrentFrameTime; }
    // Whether any line so far carried a time stamp.
    bool frameTimeShown() const { return frameTimeShown_; }

private:
    LineParser parser_;
    FrameCounts counts_;
    bool frameTimeShown_ = false;
};

// What one re-parse of the whole log leaves for the window to show.
struct CycleResult {
    std::int32_t t1Count = 0;
    std::int32_t t2Count = 0;
    FrameCounts lines;
    std::optional<FrameTimeText> frameTimeLabel; // last value a time-stamp rule showed
    std::optional<int> frameLength;              // length of the last stored T1 frame
    std::optional<T2RawTexts> rawHex;            // raw texts of the last stored T2 frame

    // Frames beyond a store's capacity.
    std::uint64_t t1Ignored() const { return lines.t1Frames - static_cast<std::uint64_t>(t1Count); }
    std::uint64_t t2Ignored() const { return lines.t2Frames - static_cast<std::uint64_t>(t2Count); }
};

// Empties both stores and refills them from `text`. `currentFrameTime` is the
// time left by the previous cycle on entry and the time this cycle leaves on
// return: frames before the text's first time stamp take it over.
CycleResult RunParseCycle(std::string_view text, FrameTimeText &currentFrameTime, RecordStore &t1Store,
                          RecordStore &t2Store);

} // namespace halcyra
