// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "batch.h"
#include "csv.h"
#include "loggen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

using namespace halcyra;

namespace {

struct StringSink : CsvSink {
    std::string text;
    std::size_t largestPiece = 0;
    void write(std::string_view piece) override
    {
        text += piece;
        largestPiece = std::max(largestPiece, piece.size());
    }
};

// What the window's export writes for a store after one re-parse of `log`.
std::string windowCsv(const RecordStore &store, char separator, bool withTime)
{
    std::string csv;
    appendCsvHeader(csv, withTime);
    for (int k = 1; k <= store.count; ++k)
        appendCsvRecord(csv, *store.at(k), separator, withTime);
    return csv;
}

TEST(BatchDecoder, WritesTheWindowsBytesForAnyChunking)
{
    struct Case {
        std::uint32_t seed;
        const char *lineEnd;
        char separator;
        bool withTime;
    } cases[] = {{1, "\r\n", '.', false}, {2, "\n", ',', false}, {3, "\r", '.', true}, {4, "\r\n", ',', true}};
    for (const Case &c : cases) {
        loggen::Options o;
        o.seed = c.seed;
        o.t1Frames = 1000;
        o.t2Frames = 700;
        o.lineEnd = c.lineEnd;
        const std::string log =
            loggen::generateLog(o) + "T1 0102\nt2 " + std::string(97, 'a') + "\n[10:00:00R] " + std::string(20, 'T');
        auto t1 = std::make_unique<RecordStore>();
        auto t2 = std::make_unique<RecordStore>();
        FrameTimeText time;
        const CycleResult window = RunParseCycle(log, time, *t1, *t2);
        ASSERT_EQ(window.t1Ignored() + window.t2Ignored(), 0u);

        for (std::size_t chunk : {std::size_t{1}, std::size_t{129}, std::size_t{65536}, log.size()}) {
            StringSink t1Sink, t2Sink;
            BatchDecoder decoder({c.withTime, c.separator}, &t1Sink, &t2Sink);
            for (std::size_t i = 0; i < log.size(); i += chunk)
                decoder.feed(std::string_view(log).substr(i, chunk));
            decoder.finish();
            const std::string where = "seed " + std::to_string(c.seed) + ", chunk " + std::to_string(chunk);
            EXPECT_EQ(t1Sink.text, windowCsv(*t1, c.separator, c.withTime)) << where;
            EXPECT_EQ(t2Sink.text, windowCsv(*t2, c.separator, c.withTime)) << where;
            const FrameCounts &n = decoder.counts();
            EXPECT_EQ(n.t1Frames, 1000u);
            EXPECT_EQ(n.t2Frames, 700u);
            EXPECT_EQ(n.t1WrongLength, window.lines.t1WrongLength) << where;
            EXPECT_EQ(n.t2WrongLength, window.lines.t2WrongLength) << where;
        }
    }
}

TEST(BatchDecoder, HandsOutTextAsItGoesAndSkipsOverlongLines)
{
    loggen::Options o;
    o.t1Frames = 3000;
    o.t2Frames = 3000;
    const std::string log = loggen::generateLog(o);
    StringSink t1Sink;
    BatchDecoder decoder({}, &t1Sink, nullptr);
    decoder.feed(std::string(3 << 20, 'T') + "\n");
    decoder.feed(log);
    EXPECT_GT(t1Sink.text.size(), 0u); // before finish(): nothing waits for the end
    decoder.finish();
    EXPECT_EQ(decoder.overlongLines(), 1u);
    EXPECT_LT(t1Sink.largestPiece, BatchDecoder::kFlushSize + 2048);
    EXPECT_EQ(std::count(t1Sink.text.begin(), t1Sink.text.end(), '\n'), 3001);
    EXPECT_EQ(decoder.counts().t2Frames, 3000u);
}

// Every line is a block at block size 1: each block takes over the frame time
// of the lines before it, and a line end, a long line or a time stamp may fall
// on any border between chunks and blocks.
TEST(BatchDecoder, ThreadsWriteWhatOneThreadWrites)
{
    loggen::Options o;
    o.t1Frames = 300;
    o.t2Frames = 200;
    std::string log = loggen::generateLog(o);
    const std::string overlong = "[11:11:11R] T1" + std::string(500, 'A'); // a time stamp that must not count
    const std::size_t size = log.size();
    for (std::size_t k = 6; k > 0; --k)
        log.insert(log.find('\n', k * size / 7) + 1, overlong + "\r\n");
    log += "[09:09:09R]\r" + overlong; // the last line is overlong and has no line end

    const struct {
        std::size_t blockSize, chunk;
        bool withTime;
    } cases[] = {{1, 1, true}, {1, 129, false}, {700, 1, true}, {4096, 333, true}, {1 << 16, 1 << 16, false}};
    for (const auto &c : cases) {
        BatchSettings settings{c.withTime, ',', 400};
        StringSink t1Expected, t2Expected;
        BatchDecoder reference(settings, &t1Expected, &t2Expected);
        reference.feed(log);
        reference.finish();
        ASSERT_EQ(reference.overlongLines(), 7u);

        settings.threads = 2;
        settings.blockSize = c.blockSize;
        StringSink t1Sink, t2Sink;
        BatchDecoder decoder(settings, &t1Sink, &t2Sink);
        ASSERT_EQ(decoder.threads(), 2u);
        const std::string where = "block " + std::to_string(c.blockSize) + ", chunk " + std::to_string(c.chunk);
        for (std::size_t i = 0; i < log.size(); i += c.chunk)
            decoder.feed(std::string_view(log).substr(i, c.chunk));
        EXPECT_EQ(decoder.overlongLines(), 6u) << where; // reported per file: known once the line is fed
        decoder.finish();
        EXPECT_EQ(t1Sink.text, t1Expected.text) << where;
        EXPECT_EQ(t2Sink.text, t2Expected.text) << where;
        const FrameCounts &n = decoder.counts();
        const FrameCounts &expected = reference.counts();
        EXPECT_TRUE(n.t1Frames == expected.t1Frames && n.t2Frames == expected.t2Frames &&
                    n.t1WrongLength == expected.t1WrongLength && n.t2WrongLength == expected.t2WrongLength)
            << where;
        EXPECT_EQ(decoder.overlongLines(), 7u) << where;
    }
}

} // namespace
