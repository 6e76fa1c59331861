// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "frame.h"
#include "record.h"
#include "scan.h"

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

struct LineOutcome {
    bool frameTimeShown = false; // a time-stamp rule fired: the frame-time label shows CurrentFrameTime
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

// Calls fn(line) for every line of `text`. Lines end at CR LF, at a lone LF
// and at a lone CR; an empty text has no lines.
template <typename Fn> void forEachLine(std::string_view text, Fn &&fn)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    while (p < end) {
        const std::size_t rest = static_cast<std::size_t>(end - p);
        const char *lineEnd = p + detail::findEither(p, rest, '\n', '\r');
        fn(std::string_view(p, static_cast<std::size_t>(lineEnd - p)));
        if (lineEnd == end)
            break;
        p = lineEnd + ((*lineEnd == '\r' && lineEnd + 1 < end && lineEnd[1] == '\n') ? 2 : 1);
    }
}

// What one re-parse of the whole log leaves for the window to show.
struct CycleResult {
    std::int32_t t1Count = 0;
    std::int32_t t2Count = 0;
    std::int32_t t1Ignored = 0; // frames beyond the store's capacity
    std::int32_t t2Ignored = 0;
    std::int32_t t1WrongLength = 0;
    std::int32_t t2WrongLength = 0;
    std::optional<FrameTimeText> frameTimeLabel; // last value a time-stamp rule showed
    std::optional<int> frameLength;              // length of the last stored T1 frame
    std::optional<T2RawTexts> rawHex;            // raw texts of the last stored T2 frame
};

// Empties both stores and refills them from `text`. `currentFrameTime` is the
// time left by the previous cycle on entry and the time this cycle leaves on
// return: frames before the text's first time stamp take it over.
CycleResult RunParseCycle(std::string_view text, FrameTimeText &currentFrameTime, RecordStore &t1Store,
                          RecordStore &t2Store);

} // namespace halcyra
