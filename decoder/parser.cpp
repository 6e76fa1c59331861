// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "parser.h"

#include "hex.h"
#include "scan.h"

#include <algorithm>
#include <cstring>

namespace halcyra {

namespace {

constexpr std::size_t npos = std::string_view::npos;

inline char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// First "UTC" in any letter case.
std::size_t findUtc(std::string_view line)
{
    for (std::size_t i = 0; i + 2 < line.size(); ++i) {
        if (upper(line[i]) == 'U' && upper(line[i + 1]) == 'T' && upper(line[i + 2]) == 'C')
            return i;
    }
    return npos;
}

// First "R]" in any letter case; returns the position of the R.
std::size_t findReceiveMarker(std::string_view line)
{
    std::size_t from = 1;
    while (from < line.size()) {
        const auto *b = static_cast<const char *>(std::memchr(line.data() + from, ']', line.size() - from));
        if (!b)
            return npos;
        const auto pos = static_cast<std::size_t>(b - line.data());
        if (line[pos - 1] == 'R' || line[pos - 1] == 'r')
            return pos - 1;
        from = pos + 1;
    }
    return npos;
}

// First 'T' or 't' at or after `from`.
std::size_t findT(const char *s, std::size_t from, std::size_t n)
{
    if (from >= n)
        return npos;
    const std::size_t i = from + detail::findEither(s + from, n - from, 'T', 't');
    return i < n ? i : npos;
}

// First tag "T<digit>" of the line as it reads with its blanks removed: a T,
// any number of blanks, then the digit. Returns the position of the T.
std::size_t findTag(std::string_view line, std::size_t from, char digit)
{
    const char *s = line.data();
    const std::size_t n = line.size();
    for (std::size_t i = findT(s, from, n); i != npos; i = findT(s, i + 1, n)) {
        std::size_t j = i + 1;
        while (j < n && s[j] == ' ')
            ++j;
        if (j < n && s[j] == digit)
            return i;
    }
    return npos;
}

} // namespace

LineOutcome LineParser::parse(std::string_view line)
{
    LineOutcome out;
    const char *s = line.data();
    const std::size_t n = line.size();

    // Time stamps, tested in this order; the last one that fires wins.
    if (n >= 2 && s[0] == '2' && s[1] == '0') {
        // "2014-07-22 10:15:30.000 UTC": the 24 characters before UTC and UTC.
        // A shorter prefix is not a time stamp of this form.
        const std::size_t p = findUtc(line);
        if (p != npos && p >= 24) {
            out.stampText = line.substr(p - 24, 27);
            out.stamp = StampRule::UtcLine;
            CurrentFrameTime.assignUpper(out.stampText);
            out.frameTimeShown = true;
        }
    }
    if (const std::size_t q = findReceiveMarker(line); q != npos) {
        // "[12:34:56R]": hours and minutes of the 8 characters before R].
        if (q >= 8 && s[q - 6] == ':' && s[q - 3] == ':') {
            out.stampText = line.substr(q - 8, 8);
            out.stamp = StampRule::ReceiveMarker;
            CurrentFrameTime.assignUpper(out.stampText.substr(0, 5));
        }
        out.frameTimeShown = true;
    }
    if (n >= 6 && s[2] == ':' && s[5] == ' ') {
        out.stampText = line.substr(0, 5);
        out.stamp = StampRule::ClockPrefix;
        CurrentFrameTime.assignUpper(out.stampText);
        out.frameTimeShown = true;
    }

    // A frame: cut at the first T1, then at the first T2 after it; blanks do
    // not count, so "T 1" is a tag and byte pairs may stand apart.
    const std::size_t t1 = findTag(line, 0, '1');
    const std::size_t t2 = findTag(line, t1 == npos ? 0 : t1, '2');
    const std::size_t cut = t2 != npos ? t2 : t1;
    if (cut == npos)
        return out;
    const bool isT2 = t2 != npos;
    const std::size_t expected = isT2 ? kT2FrameLength : kT1FrameLength;

    const bool hasBlanks = std::memchr(s + cut, ' ', n - cut) != nullptr;
    const std::size_t blanks = hasBlanks ? static_cast<std::size_t>(std::count(s + cut, s + n, ' ')) : 0;
    const std::size_t length = n - cut - blanks;
    if (length == expected) {
        if (blanks == 0) {
            out.frameText = line.substr(cut);
        } else {
            std::size_t k = 0;
            for (std::size_t i = cut; i < n; ++i) {
                cleaned_[k] = s[i];
                k += s[i] != ' ';
            }
            out.frameText = std::string_view(cleaned_.data(), expected);
        }
        out.frame = isT2 ? LineFrame::T2 : LineFrame::T1;
        return out;
    }

    // A tag followed only by hex digits: a frame that lost or gained digits.
    if (length > 2) {
        std::size_t i = cut + 1;
        while (s[i] == ' ')
            ++i;
        bool allHex = true;
        for (++i; i < n && allHex; ++i)
            allHex = s[i] == ' ' || isHexDigit(s[i]);
        if (allHex)
            out.frame = isT2 ? LineFrame::T2WrongLength : LineFrame::T1WrongLength;
    }
    return out;
}

CycleResult RunParseCycle(std::string_view text, FrameTimeText &currentFrameTime, RecordStore &t1Store,
                          RecordStore &t2Store)
{
    CycleResult result;
    t1Store.clear();
    t2Store.clear();
    LogScanner scanner(currentFrameTime);
    const auto store = [&](FrameKind kind, std::string_view frame, const FrameTimeText &frameTime) {
        if (kind == FrameKind::T1) {
            if (TelemetryRecord *rec = t1Store.append(frameTime)) {
                DecodeT1Frame(frame, *rec);
                result.frameLength = static_cast<int>(frame.size());
            }
        } else if (TelemetryRecord *rec = t2Store.append(frameTime)) {
            result.rawHex = DecodeT2Frame(frame, *rec);
        }
    };
    forEachLine(text, [&](std::string_view line) { scanner.scan(line, store); });

    currentFrameTime = scanner.frameTime();
    // Only the time-stamp rules change the frame time, so the last value they
    // showed is the one the cycle ends with.
    if (scanner.frameTimeShown())
        result.frameTimeLabel = currentFrameTime;
    result.lines = scanner.counts();
    result.t1Count = t1Store.count;
    result.t2Count = t2Store.count;
    return result;
}

} // namespace halcyra
