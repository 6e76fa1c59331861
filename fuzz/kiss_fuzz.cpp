// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// A TNC's byte stream, as untrusted as any network input. The first byte
// chooses how the rest arrives in pieces; whatever the pieces, the same
// frames must come out, never more than the stream has FENDs, and the packet
// log written for them must read back as exactly the telemetry handed to the
// archive.

#include "ax25frame.h"
#include "check.h"
#include "importer.h"
#include "kissdeframer.h"
#include "tncreader.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace halcyra;
using namespace halcyra::tnc;

using Bytes = std::vector<std::uint8_t>;

struct Out {
    std::vector<std::pair<int, Bytes>> frames;
    KissDeframer::Counts counts;
};

// Pieces of 1 to `widest` bytes, their lengths from a small generator.
template <typename Feed> void inPieces(std::span<const std::uint8_t> stream, std::uint8_t mode, Feed &&feed)
{
    const std::size_t widest = 1 + mode;
    std::uint32_t state = 0x9E3779B9u ^ mode;
    while (!stream.empty()) {
        state = state * 1664525u + 1013904223u;
        const std::size_t n = std::min<std::size_t>(stream.size(), 1 + (state >> 8) % widest);
        feed(stream.first(n));
        stream = stream.subspan(n);
    }
}

Out deframe(std::span<const std::uint8_t> stream, std::uint8_t mode, bool whole)
{
    KissDeframer deframer;
    Out out;
    const auto take = [&](int port, std::span<const std::uint8_t> frame) {
        FUZZ_CHECK(port >= 0 && port <= 15);
        FUZZ_CHECK(frame.size() <= KissDeframer::kMaxFrame);
        out.frames.emplace_back(port, Bytes(frame.begin(), frame.end()));
    };
    if (whole)
        deframer.feed(stream, take);
    else
        inPieces(stream, mode, [&](std::span<const std::uint8_t> piece) { deframer.feed(piece, take); });
    out.counts = deframer.counts();
    return out;
}

void checkParse(std::span<const std::uint8_t> frame)
{
    const auto parsed = parseAx25(frame);
    if (!parsed)
        return;
    FUZZ_CHECK(parsed->digipeaters.size() <= kMaxDigipeaters);
    FUZZ_CHECK(!parsed->source.call.empty() && parsed->source.call.size() <= 6);
    FUZZ_CHECK(parsed->info.data() >= frame.data() &&
               parsed->info.data() + parsed->info.size() == frame.data() + frame.size());
}

void checkReader(std::span<const std::uint8_t> stream, std::uint8_t mode, std::uint64_t dataFrames)
{
    TncReader reader;
    std::vector<std::string> telemetry;
    std::string log;
    inPieces(stream, mode, [&](std::span<const std::uint8_t> piece) {
        reader.feed(
            piece, 1'800'000'000'000,
            [&](const archive::LoggedFrame &f) {
                FUZZ_CHECK(f.ax25 && parseAx25(*f.ax25));
                telemetry.emplace_back(f.view());
            },
            [&](std::string_view lines) { log += lines; });
    });
    const TncCounts &c = reader.counts();
    FUZZ_CHECK(c.telemetry + c.otherStations + c.otherInfo + c.malformed == dataFrames);
    FUZZ_CHECK(c.telemetry == telemetry.size());

    std::vector<std::string> fromLog;
    archive::FrameReader logReader{archive::ImportOptions{}};
    logReader.feed(log, [&](const archive::LoggedFrame &f) {
        FUZZ_CHECK(f.received == 1'800'000'000'000);
        fromLog.emplace_back(f.view());
    });
    logReader.finish([&](const archive::LoggedFrame &) { FUZZ_CHECK(false); });
    FUZZ_CHECK(fromLog == telemetry);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    const std::span<const std::uint8_t> stream(data + 1, size - 1);

    const Out whole = deframe(stream, mode, true);
    const Out split = deframe(stream, mode, false);
    FUZZ_CHECK(whole.frames == split.frames);
    FUZZ_CHECK(whole.counts.frames == split.counts.frames && whole.counts.commands == split.counts.commands &&
               whole.counts.oversize == split.counts.oversize && whole.counts.badEscapes == split.counts.badEscapes);
    FUZZ_CHECK(whole.counts.frames == whole.frames.size());
    const auto fends = static_cast<std::uint64_t>(std::count(stream.begin(), stream.end(), kFend));
    FUZZ_CHECK(whole.counts.frames + whole.counts.commands <= fends);

    for (const auto &frame : whole.frames)
        checkParse(frame.second);
    checkReader(stream, mode, whole.counts.frames);
    return 0;
}
