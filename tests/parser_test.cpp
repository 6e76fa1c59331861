// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "lines.h"
#include "parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace halcyra;

namespace {

const std::string kT1 = "T1" + std::string(4, '0') + "2C01" + std::string(120, '0'); // X Cells Curr 91.57...
const std::string kT2 = "T2" + std::string(96, '1');

std::string spaced(const std::string &frame)
{
    std::string out = frame.substr(0, 2);
    for (std::size_t i = 2; i < frame.size(); i += 2)
        out += " " + frame.substr(i, 2);
    return out;
}

struct Cycle {
    std::unique_ptr<RecordStore> t1 = std::make_unique<RecordStore>();
    std::unique_ptr<RecordStore> t2 = std::make_unique<RecordStore>();
    FrameTimeText time;
    CycleResult result;

    void run(const std::string &text) { result = RunParseCycle(text, time, *t1, *t2); }
    std::string t1Time(int pos) const { return t1->records[static_cast<std::size_t>(pos)].FrameTime.str(); }
};

TEST(ParseCycle, TimeStampRules)
{
    const struct {
        std::string line;
        std::string time; // the frame time after the line, from 09:00
    } cases[] = {
        {"2014-07-22 10:15:30.000 utc", "2014-07-22 10:15:30.000 UTC"}, // any case
        {"  10:16 " + kT1, "09:00"},                                    // a leading blank: no clock
        {"[12-34:56R] x", "09:00"},                                     // a marker needs both its colons
        {"[12:34-56R] x", "09:00"},
        {"first r] then [12:34:56R]", "09:00"},  // only the first R] counts
        {"2014-07-22 10:15:30.00 UTC", "09:00"}, // fewer than 24 characters before UTC
        {"1:2R]", "09:00"},                      // fewer than 8 before R]
        {"R]", "09:00"},
        {"20:15 [12:34:56R] " + kT1, "20:15"}, // the clock rule comes last and wins
    };
    for (const auto &k : cases) {
        Cycle c;
        c.time = FrameTimeText("09:00");
        c.run(k.line + "\r\n" + kT1);
        EXPECT_EQ(c.time.view(), k.time) << k.line;
        EXPECT_EQ(c.t1Time(c.result.t1Count), k.time) << k.line; // frames take it over
    }
    // A marker shows the frame time even when it keeps it.
    Cycle c;
    c.time = FrameTimeText("09:00");
    c.run("[12-34-56R] x");
    ASSERT_TRUE(c.result.frameTimeLabel);
    EXPECT_EQ(c.result.frameTimeLabel->view(), "09:00");
}

TEST(ParseCycle, FrameShapes)
{
    struct Case {
        std::string line;
        int t1, t2;
    } cases[] = {
        {kT1 + " 73", 0, 0},                         // text after the digits: too long
        {kT1.substr(0, 129), 0, 0},                  // 127 digits
        {"T1\t" + kT1.substr(2), 0, 0},              // a tab changes the length
        {kT1 + " T2" + kT2.substr(2), 0, 1},         // cut at the T2 behind the T1
        {kT2 + " " + kT1, 1, 0},                     // not at a T2 before it
        {"T 1" + kT1.substr(2), 1, 0},               // blanks inside the tag vanish
        {"T1" + std::string(126, '0') + "G0", 1, 0}, // bad digits still decode
        {"T1" + std::string(127, '0') + '\0', 1, 0}, // so does a NUL
    };
    for (const Case &k : cases) {
        Cycle c;
        c.run(k.line);
        EXPECT_EQ(c.result.t1Count, k.t1) << k.line;
        EXPECT_EQ(c.result.t2Count, k.t2) << k.line;
    }
}

TEST(ParseCycle, BlanksAfterTheLastDigitDoNotCount)
{
    // The blank-removing copy once wrote trailing blanks past its buffer.
    Cycle plain;
    plain.run(kT1 + "\n" + kT2);
    Cycle padded;
    padded.run(spaced(kT1) + "   \n" + kT2 + " \n" + "  " + spaced(kT2) + "  ");
    ASSERT_EQ(padded.result.t1Count, 1);
    ASSERT_EQ(padded.result.t2Count, 2);
    EXPECT_EQ(padded.t1->records[1].Values, plain.t1->records[1].Values);
    EXPECT_EQ(padded.t2->records[1].Values, plain.t2->records[1].Values);
    EXPECT_EQ(padded.t2->records[2].Values, plain.t2->records[1].Values);

    LineParser parser;
    EXPECT_EQ(parser.parse(spaced(kT1) + " ").frameText, kT1);
}

TEST(ParseCycle, WrongLengthFramesAreCounted)
{
    Cycle c;
    c.run(kT1.substr(0, 129) + "\n" + kT1 + "0\n" + spaced(kT2.substr(0, 90)) + "\n" + "T1 status ok\nT1\n" + kT1 +
          "\n");
    EXPECT_EQ(c.result.t1Count, 1);
    EXPECT_EQ(c.result.lines.t1WrongLength, 2u);
    EXPECT_EQ(c.result.lines.t2WrongLength, 1u);
}

using Lines = std::vector<std::string>;

Lines whole(std::string_view text)
{
    Lines lines;
    forEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

// Feeds `text` in pieces of `size` bytes, with an empty chunk between them.
Lines chunked(std::string_view text, std::size_t size, LineSplitter &splitter)
{
    Lines lines;
    auto collect = [&](std::string_view line) { lines.emplace_back(line); };
    for (std::size_t i = 0; i < text.size(); i += size) {
        splitter.feed(text.substr(i, size), collect);
        splitter.feed({}, collect);
    }
    splitter.finish(collect);
    return lines;
}

TEST(LineSplitter, ChunksOfEverySizeGiveTheLinesOfTheWholeText)
{
    std::vector<std::string> texts = {"",         "a",        "\r",     "\n",          "\r\n",   "\n\r",
                                      "\r\r\n",   "\n\n",     "abc\r",  "abc\r\n",     "a\r\nb", "x\ry\nz\r\n\r",
                                      "\r\n\r\n", "\n\r\n\r", "ab\r\r", "20 UTC\rT1\n"};
    std::mt19937 rng(3);
    for (int k = 0; k < 50; ++k) { // dense mixes of line ends
        std::string t(1 + rng() % 40, 'x');
        for (char &c : t)
            c = "ab\r\n"[rng() % 4];
        texts.push_back(t);
    }
    for (const std::string &text : texts) {
        const Lines expected = whole(text);
        for (std::size_t size = 1; size <= text.size() + 1; ++size) {
            LineSplitter splitter;
            EXPECT_EQ(chunked(text, size, splitter), expected)
                << "chunk size " << size << ", text " << testing::PrintToString(text);
        }
    }
}

TEST(LineSplitter, LinesBeyondTheLimitAreCountedNotHandedOut)
{
    const std::string text = "abcd\nabcde\r\nab\rxyzxyzxyz";
    for (std::size_t size : {1u, 2u, 3u, 5u, 64u}) {
        LineSplitter splitter(4);
        EXPECT_EQ(chunked(text, size, splitter), (Lines{"abcd", "ab"})) << "chunk size " << size;
        EXPECT_EQ(splitter.overlongLines(), 2u);
    }
}

} // namespace
