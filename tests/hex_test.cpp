// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "hex.h"

#include <gtest/gtest.h>

using halcyra::HexToDec;

namespace {

struct HexCase {
    const char *text;
    std::int32_t expected;
};

// Test names show the text, not the bytes of the case.
void PrintTo(const HexCase &c, std::ostream *os)
{
    *os << '"' << c.text << '"';
}

class HexToDecTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(HexToDecTest, Converts)
{
    const HexCase &c = GetParam();
    EXPECT_EQ(HexToDec(c.text), c.expected) << "text: \"" << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(Table, HexToDecTest,
                         ::testing::Values(
                             // plain digits and both prefixes, any case
                             HexCase{"2C", 44}, HexCase{"2c", 44}, HexCase{"0x2c", 44}, HexCase{"0X2C", 44},
                             HexCase{"&HFF", 255}, HexCase{"&hff", 255}, HexCase{"0834", 2100},
                             // up to four digits: a signed 16-bit word
                             HexCase{"7FFF", 32767}, HexCase{"8000", -32768}, HexCase{"FFFF", -1},
                             // more digits: a signed 32-bit word, leading zeros included
                             HexCase{"10000", 65536}, HexCase{"0000FFFF", 65535}, HexCase{"00008000", 32768},
                             HexCase{"53CE7A80", 1406040704}, HexCase{"FFFFFFFF", -1}, HexCase{"80000000", INT32_MIN},
                             // reading stops at the first non-hex character
                             HexCase{"1G", 1}, HexCase{"G1", 0}, HexCase{"12 34", 0x12}, HexCase{"-1", 0},
                             // nothing to read
                             HexCase{"", 0}, HexCase{"0X", 0}, HexCase{"&H", 0}, HexCase{"&", 0},
                             // beyond 32 bits the conversion fails, which reads as 0
                             HexCase{"100000000", 0}, HexCase{"000000000001", 1}));

} // namespace
