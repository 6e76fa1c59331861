// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "lines.h"
#include "parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace halcyra;

namespace {

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
