// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The whole re-parse cycle on arbitrary text. Besides staying inside its
// stores, the cycle must agree with a line-by-line reading of the same text
// and give the same stores every time it runs on it.

#include "check.h"
#include "frame.h"
#include "parser.h"
#include "receivetime.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace halcyra;

const FrameTimeText kStartTime("PREVIOUS CYCLE");

struct Cycle {
    RecordStore t1;
    RecordStore t2;
    FrameTimeText time;
    CycleResult result;

    void run(std::string_view text)
    {
        time = kStartTime;
        result = RunParseCycle(text, time, t1, t2);
    }
};

// Lines the slow way: cut at CR LF, at LF and at CR.
std::vector<std::string_view> referenceLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

void checkStore(const RecordStore &store, int count, int ignored, FrameKind kind)
{
    FUZZ_CHECK(count >= 0 && count <= kStoreCapacity);
    FUZZ_CHECK(store.count == count);
    FUZZ_CHECK(ignored >= 0);
    FUZZ_CHECK(ignored == 0 || count == kStoreCapacity);
    for (int pos = 1; pos <= count; ++pos) {
        const TelemetryRecord &rec = store.records[static_cast<std::size_t>(pos)];
        FUZZ_CHECK(rec.FrameTime.size() <= FrameTimeText::kCapacity);
        for (int i = 0; i < kFieldCount; ++i) {
            const double v = rec.Values[static_cast<std::size_t>(i)];
            FUZZ_CHECK(std::isfinite(v));
            // A store holds only its own kind's values; the rest stay zero.
            if ((i < kFirstT2Field) != (kind == FrameKind::T1))
                FUZZ_CHECK(v == 0.0);
        }
    }
}

bool sameRecords(const RecordStore &a, const RecordStore &b)
{
    if (a.count != b.count)
        return false;
    for (int pos = 1; pos <= a.count; ++pos) {
        const TelemetryRecord &x = a.records[static_cast<std::size_t>(pos)];
        const TelemetryRecord &y = b.records[static_cast<std::size_t>(pos)];
        if (std::memcmp(x.Values.data(), y.Values.data(), sizeof x.Values) != 0 || x.FrameTime != y.FrameTime)
            return false;
    }
    return true;
}

template <typename T> bool sameOptional(const std::optional<T> &a, const std::optional<T> &b)
{
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

bool sameRawTexts(const std::optional<T2RawTexts> &a, const std::optional<T2RawTexts> &b)
{
    return a.has_value() == b.has_value() && (!a || a->chars == b->chars);
}

bool sameResult(const CycleResult &a, const CycleResult &b)
{
    return a.t1Count == b.t1Count && a.t2Count == b.t2Count && a.lines.t1Frames == b.lines.t1Frames &&
           a.lines.t2Frames == b.lines.t2Frames && a.lines.t1WrongLength == b.lines.t1WrongLength &&
           a.lines.t2WrongLength == b.lines.t2WrongLength && sameOptional(a.frameTimeLabel, b.frameTimeLabel) &&
           sameOptional(a.frameLength, b.frameLength) && sameRawTexts(a.rawHex, b.rawHex);
}

// Each copy of a text followed by a line end holds the same frames, so a text
// repeated past the stores' capacity must fill them exactly.
void checkCapacity(std::string_view text, Cycle &cycle)
{
    const std::string copy = std::string(text) + "\n";
    cycle.run(copy);
    const CycleResult once = cycle.result;
    const auto perCopy = static_cast<int>(std::max(once.lines.t1Frames, once.lines.t2Frames));
    if (perCopy == 0)
        return;
    const int copies = kStoreCapacity / perCopy + 2;
    if (copy.size() * static_cast<std::size_t>(copies) > (192u << 10))
        return;
    std::string repeated;
    for (int i = 0; i < copies; ++i)
        repeated += copy;
    cycle.run(repeated);
    const CycleResult &r = cycle.result;
    const auto t1Frames = static_cast<int>(copies * once.lines.t1Frames);
    const auto t2Frames = static_cast<int>(copies * once.lines.t2Frames);
    FUZZ_CHECK(r.t1Count == std::min(t1Frames, kStoreCapacity));
    FUZZ_CHECK(r.t2Count == std::min(t2Frames, kStoreCapacity));
    FUZZ_CHECK(r.lines.t1Frames == static_cast<std::uint64_t>(t1Frames));
    FUZZ_CHECK(r.lines.t2Frames == static_cast<std::uint64_t>(t2Frames));
    FUZZ_CHECK(r.lines.t1WrongLength == copies * once.lines.t1WrongLength);
    FUZZ_CHECK(r.lines.t2WrongLength == copies * once.lines.t2WrongLength);
    checkStore(cycle.t1, r.t1Count, static_cast<int>(r.t1Ignored()), FrameKind::T1);
    checkStore(cycle.t2, r.t2Count, static_cast<int>(r.t2Ignored()), FrameKind::T2);
}

// The same text read line by line: the same lines, frames and frame times
// as the whole cycle's.
void checkLineByLine(std::string_view text, const Cycle &first)
{
    const CycleResult &r = first.result;
    std::vector<std::string_view> lines;
    forEachLine(text, [&](std::string_view line) { lines.push_back(line); });
    FUZZ_CHECK(lines == referenceLines(text));

    LineParser parser(kStartTime);
    ReceiveClock clock;
    clock.setFallbackDay(2'932'896); // 9999-12-31: a roll-over would pass the last year
    std::uint64_t t1Frames = 0, t2Frames = 0, t1Wrong = 0, t2Wrong = 0;
    std::optional<FrameTimeText> shownTime;
    std::optional<T2RawTexts> lastRawTexts;
    for (std::string_view line : lines) {
        const LineOutcome out = parser.parse(line);
        FUZZ_CHECK(parser.CurrentFrameTime.size() <= FrameTimeText::kCapacity);
        if (out.frameTimeShown)
            shownTime = parser.CurrentFrameTime;
        // The stamp a line reports is the one its frame time came from, and
        // any receive time read from it is one the archive can write.
        if (out.stamp != StampRule::None) {
            FrameTimeText fromStamp;
            fromStamp.assignUpper(out.stamp == StampRule::ReceiveMarker ? out.stampText.substr(0, 5) : out.stampText);
            FUZZ_CHECK(out.frameTimeShown && fromStamp == parser.CurrentFrameTime);
        }
        clock.observe(out);
        FUZZ_CHECK(!clock.received() || formatUtc(*clock.received()));
        if (out.frame != LineFrame::T1 && out.frame != LineFrame::T2) {
            t1Wrong += out.frame == LineFrame::T1WrongLength;
            t2Wrong += out.frame == LineFrame::T2WrongLength;
            continue;
        }
        const bool isT1 = out.frame == LineFrame::T1;
        const std::string_view frame = out.frameText;
        FUZZ_CHECK(frame.size() == static_cast<std::size_t>(isT1 ? kT1FrameLength : kT2FrameLength));
        FUZZ_CHECK((frame[0] == 'T' || frame[0] == 't') && frame[1] == (isT1 ? '1' : '2'));
        FUZZ_CHECK(frame.find(' ') == std::string_view::npos);
        const auto position = static_cast<int>(isT1 ? ++t1Frames : ++t2Frames);
        if (position > kStoreCapacity)
            continue;
        const TelemetryRecord &stored = (isT1 ? first.t1 : first.t2).records[static_cast<std::size_t>(position)];
        FUZZ_CHECK(stored.FrameTime == parser.CurrentFrameTime);
        TelemetryRecord decoded;
        if (isT1)
            DecodeT1Frame(frame, decoded);
        else
            lastRawTexts = DecodeT2Frame(frame, decoded);
        FUZZ_CHECK(std::memcmp(decoded.Values.data(), stored.Values.data(), sizeof decoded.Values) == 0);
    }
    FUZZ_CHECK(t1Frames == r.lines.t1Frames && t2Frames == r.lines.t2Frames);
    FUZZ_CHECK(static_cast<std::uint64_t>(r.t1Count) == std::min<std::uint64_t>(t1Frames, kStoreCapacity));
    FUZZ_CHECK(static_cast<std::uint64_t>(r.t2Count) == std::min<std::uint64_t>(t2Frames, kStoreCapacity));
    FUZZ_CHECK(t1Wrong == r.lines.t1WrongLength && t2Wrong == r.lines.t2WrongLength);
    FUZZ_CHECK(parser.CurrentFrameTime == first.time);
    FUZZ_CHECK(sameOptional(shownTime, r.frameTimeLabel));
    FUZZ_CHECK(sameRawTexts(lastRawTexts, r.rawHex));
}

// A second run into stores whose slots hold garbage in place of their own
// kind's values must give the same stores: every record is written in full.
void checkSecondRun(std::string_view text, const Cycle &first, Cycle &second)
{
    const CycleResult &r = first.result;
    constexpr double kGarbage = std::numeric_limits<double>::quiet_NaN();
    for (int pos = 1; pos <= r.t1Count; ++pos) {
        auto &values = second.t1.records[static_cast<std::size_t>(pos)].Values;
        std::fill(values.begin(), values.begin() + kFirstT2Field, kGarbage);
    }
    for (int pos = 1; pos <= r.t2Count; ++pos) {
        auto &values = second.t2.records[static_cast<std::size_t>(pos)].Values;
        std::fill(values.begin() + kFirstT2Field, values.end(), kGarbage);
    }
    second.run(text);
    FUZZ_CHECK(sameResult(r, second.result));
    FUZZ_CHECK(second.time == first.time);
    FUZZ_CHECK(sameRecords(first.t1, second.t1));
    FUZZ_CHECK(sameRecords(first.t2, second.t2));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Stores of 1000 records are too big for the stack and too slow to
    // allocate per input; stale slots above the counts are fair game.
    static Cycle &first = *new Cycle;
    static Cycle &second = *new Cycle;

    const std::string_view text(reinterpret_cast<const char *>(data), size);
    first.run(text);
    const CycleResult &r = first.result;

    checkStore(first.t1, r.t1Count, static_cast<int>(r.t1Ignored()), FrameKind::T1);
    checkStore(first.t2, r.t2Count, static_cast<int>(r.t2Ignored()), FrameKind::T2);
    FUZZ_CHECK(first.time.size() <= FrameTimeText::kCapacity);
    FUZZ_CHECK(r.frameLength.has_value() == (r.t1Count > 0));
    FUZZ_CHECK(!r.frameLength || *r.frameLength == kT1FrameLength);
    FUZZ_CHECK(r.rawHex.has_value() == (r.t2Count > 0));
    // Only a time-stamp rule changes the frame time, and each one shows it.
    FUZZ_CHECK(r.frameTimeLabel ? *r.frameTimeLabel == first.time : first.time == kStartTime);

    checkLineByLine(text, first);
    checkSecondRun(text, first, second);

    // Repeating a text past the stores' capacity is slow; one input in 32 will do.
    if (size % 32 == 0)
        checkCapacity(text, second);
    return 0;
}
