// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The sample log's reference files hold ordinary readings of every field;
// these are the readings it does not have, and values pinned to the bit.

#include "fields.h"
#include "frame.h"
#include "hex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace halcyra;

namespace {

// A frame of zeros with `digits` written from 1-based character `position`.
std::string frame(FrameKind kind, int position = 3, const std::string &digits = "")
{
    std::string f = kind == FrameKind::T1 ? "T1" + std::string(128, '0') : "T2" + std::string(96, '0');
    f.replace(static_cast<std::size_t>(position - 1), digits.size(), digits);
    return f;
}

TelemetryRecord decoded(const std::string &text)
{
    TelemetryRecord rec;
    if (text[1] == '1')
        DecodeT1Frame(text, rec);
    else
        DecodeT2Frame(text, rec);
    return rec;
}

TEST(HexToDec, TheWidthOfTheTextGivesTheSign)
{
    // Up to four digits, a prefix not counted, read a signed 16-bit word, more a
    // signed 32-bit word, leading zeros included. Reading stops at a non-hex
    // character; beyond 32 bits it fails and reads 0.
    const std::pair<const char *, std::int32_t> cases[] = {
        {"&hff", 255},       {"0X7FFF", 32767}, {"8000", -32768},        {"FFFF", -1},
        {"0000FFFF", 65535}, {"FFFFFFFF", -1},  {"80000000", INT32_MIN}, {"1G", 1},
        {"G1", 0},           {"0X", 0},         {"100000000", 0},        {"000000000001", 1}};
    for (const auto &[text, value] : cases)
        EXPECT_EQ(HexToDec(text), value) << text;
}

TEST(DecodeT1Frame, WorkedExamplesAreBitExact)
{
    // 2C01: low byte 0x2C, high byte 0x01, raw 300.
    EXPECT_EQ(decoded(frame(FrameKind::T1, 7, "2C01")).Values[1], 91.57508999999999);
    // Words are unsigned: FFFF is 65535.
    EXPECT_EQ(decoded(frame(FrameKind::T1, 7, "FFFF")).Values[1], 65535 * 0.3052503);
    // Uptime in minutes shown as days: a division, not a product with 1/1440.
    EXPECT_EQ(decoded(frame(FrameKind::T1, 3, "A005")).Values[0], 1440.0 / 1440);
    EXPECT_EQ(decoded(frame(FrameKind::T1, 3, "0100")).Values[0], 1.0 / 1440);
    // Temperature: the product first, then the offset.
    EXPECT_EQ(decoded(frame(FrameKind::T1, 111, "E803")).Values[27], 1000 * -0.052135 + 159.18872);
    // Antenna reading: the quotient first, then the product.
    EXPECT_EQ(decoded(frame(FrameKind::T1, 127, "FF0F")).Values[31], (3.3 / 4095) * 4095);
}

TEST(DecodeT1Frame, NonHexDigitsEndTheirByte)
{
    EXPECT_EQ(decoded(frame(FrameKind::T1, 7, "1G01")).Values[1], (1 * 256 + 1) * 0.3052503); // "1G" reads 1
    EXPECT_EQ(decoded(frame(FrameKind::T1, 7, "G101")).Values[1], 256 * 0.3052503);           // "G1" reads 0
    EXPECT_EQ(decoded(frame(FrameKind::T1, 11, "2c01")).Values[2], 91.57508999999999);        // lower case is hex too
}

TEST(DecodeT2Frame, WorkedExamplesAreBitExact)
{
    EXPECT_EQ(decoded(frame(FrameKind::T2, 63, "3408")).Values[36], -89.55859230769232);
    EXPECT_EQ(decoded(frame(FrameKind::T2, 67, "DC05")).Values[37], 55.96146807931595);
    EXPECT_EQ(decoded(frame(FrameKind::T2, 3, "807ACE53")).Values[32], 1406040704.0);
    EXPECT_EQ(decoded(frame(FrameKind::T2, 79, "3408")).Values[40], ((3.3 / 4095) * 49.8642) * 2100 - 199.5538);
    EXPECT_EQ(decoded(frame(FrameKind::T2, 27, "A005")).Values[35], 1.0);
}

TEST(DecodeT2Frame, ReadingsWithTheTopBitSet)
{
    // The timestamp drops the sign bit; temperatures and signal strength read a signed word.
    EXPECT_EQ(decoded(frame(FrameKind::T2, 3, "FFFFFFFF")).Values[32], 2147483647.0);
    EXPECT_EQ(decoded(frame(FrameKind::T2, 67, "FFFF")).Values[37], 159.188727583262 - (-1) * 0.0688181730026307);
    // A multi-byte reading is HexToDec of its rearranged digits, also when a
    // stray character cuts it short: four digits are a signed 16-bit word.
    EXPECT_EQ(decoded(frame(FrameKind::T2, 11, "G0G0DFEE")).Values[33], -4385.0); // "EEDFG0G0"
}

TEST(DecodeT2Frame, RawTextsAndUntouchedT1Fields)
{
    std::string f = frame(FrameKind::T2);
    const std::string raw = "0123456789abcdefABCDEF0123456789";
    f.replace(30, raw.size(), raw);
    TelemetryRecord rec;
    rec.Values[5] = 7.5; // a T2 frame never writes the T1 fields
    const T2RawTexts texts = DecodeT2Frame(f, rec);
    EXPECT_EQ(texts.text(0), "0123456789");
    EXPECT_EQ(texts.text(1), "ABCDEFABCD");
    EXPECT_EQ(texts.text(2), "EF0123456789");
    EXPECT_EQ(rec.Values[5], 7.5);
}

// Every reading a field can hold comes back from its value: a formula and its
// inverse that disagree (a sign, an offset, scale against divisor) fail here.
TEST(FieldCatalogue, EveryReadingComesBackFromItsValue)
{
    for (const FieldInfo &f : FieldCatalogue) {
        const bool wide = f.reading == Reading::Signed32 || f.reading == Reading::Low31;
        const std::int64_t low = f.reading == Reading::Signed16 ? -32768 : wide ? -2147483648LL : 0;
        const std::int64_t high = f.reading == Reading::Signed16 ? 32767 : wide ? 2147483647LL : 65535;
        const std::int64_t step = wide ? 65521 : 1;
        int wrong = 0;
        for (std::int64_t raw = low; raw <= high; raw += step) {
            const double value = f.formula.apply(static_cast<double>(raw));
            wrong += std::llround(f.formula.rawFor(value)) != raw;
        }
        EXPECT_EQ(wrong, 0) << f.caption;
    }
}

} // namespace
