// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "fields.h"
#include "frame.h"

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

TelemetryRecord decodeT1(const std::string &text)
{
    TelemetryRecord rec;
    DecodeT1Frame(text, rec);
    return rec;
}

TelemetryRecord decodeT2(const std::string &text)
{
    TelemetryRecord rec;
    DecodeT2Frame(text, rec);
    return rec;
}

TEST(DecodeT1Frame, ZeroFrameLeavesOnlyTheTemperatureOffset)
{
    const TelemetryRecord rec = decodeT1(frame(FrameKind::T1));
    for (int i = 0; i < kFieldCount; ++i)
        EXPECT_EQ(rec.Values[static_cast<std::size_t>(i)], i == 27 ? 159.18872 : 0.0) << "field " << i;
}

TEST(DecodeT1Frame, WorkedExamplesAreBitExact)
{
    // 2C01: low byte 0x2C, high byte 0x01, raw 300.
    EXPECT_EQ(decodeT1(frame(FrameKind::T1, 7, "2C01")).Values[1], 91.57508999999999);
    // Words are unsigned: FFFF is 65535.
    EXPECT_EQ(decodeT1(frame(FrameKind::T1, 7, "FFFF")).Values[1], 65535 * 0.3052503);
    // Uptime in minutes shown as days: a division, not a product with 1/1440.
    EXPECT_EQ(decodeT1(frame(FrameKind::T1, 3, "A005")).Values[0], 1440.0 / 1440);
    EXPECT_EQ(decodeT1(frame(FrameKind::T1, 3, "0100")).Values[0], 1.0 / 1440);
    // Temperature: the product first, then the offset.
    EXPECT_EQ(decodeT1(frame(FrameKind::T1, 111, "E803")).Values[27], 1000 * -0.052135 + 159.18872);
    // Antenna reading: the quotient first, then the product.
    EXPECT_EQ(decodeT1(frame(FrameKind::T1, 127, "FF0F")).Values[31], (3.3 / 4095) * 4095);
}

TEST(DecodeT1Frame, EveryWordLandsInItsField)
{
    // Word k carries k + 1, so each field shows which word it read.
    std::string f = "T1";
    for (int k = 0; k < 32; ++k) {
        char pair[5];
        std::snprintf(pair, sizeof pair, "%02X00", k + 1);
        f += pair;
    }
    TelemetryRecord rec;
    DecodeT1Frame(f, rec);
    for (const FieldInfo &field : FieldCatalogue) {
        if (storeOf(field.index) == FrameKind::T1)
            EXPECT_EQ(readRawField(f, field.index), field.index + 1) << field.caption;
        else
            EXPECT_EQ(rec.Values[static_cast<std::size_t>(field.index)], 0.0) << "T2 field " << field.index;
    }
}

TEST(DecodeT1Frame, NonHexDigitsEndTheirByte)
{
    TelemetryRecord rec = decodeT1(frame(FrameKind::T1, 7, "1G01"));
    EXPECT_EQ(rec.Values[1], (1 * 256 + 1) * 0.3052503); // "1G" reads 1
    rec = decodeT1(frame(FrameKind::T1, 7, "G101"));
    EXPECT_EQ(rec.Values[1], 256 * 0.3052503); // "G1" reads 0
    rec = decodeT1(frame(FrameKind::T1, 11, "2c01"));
    EXPECT_EQ(rec.Values[2], 91.57508999999999); // lower-case digits are digits
}

TEST(DecodeT2Frame, WorkedExamplesAreBitExact)
{
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 63, "3408")).Values[36], -89.55859230769232);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 67, "DC05")).Values[37], 55.96146807931595);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 3, "807ACE53")).Values[32], 1406040704.0);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 79, "3408")).Values[40], ((3.3 / 4095) * 49.8642) * 2100 - 199.5538);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 27, "A005")).Values[35], 1.0);
}

TEST(DecodeT2Frame, ThirtyTwoBitReadings)
{
    // The timestamp drops the sign bit; the other two keep their sign.
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 3, "FFFFFFFF")).Values[32], 2147483647.0);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 11, "FFFFFFFF")).Values[33], -1.0);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 19, "F6FFFFFF")).Values[34], -10.0);
    // Small positive values stay positive: +40000 s of drift, 65535 s since 1970.
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 19, "409C0000")).Values[34], 40000.0);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 11, "FFFF0000")).Values[33], 65535.0);
}

TEST(DecodeT2Frame, SixteenBitReadingsAndCounters)
{
    // Temperatures and signal strength read a signed word...
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 67, "FFFF")).Values[37], 159.188727583262 - (-1) * 0.0688181730026307);
    // ...the receive and send counters an unsigned one.
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 75, "FFFF")).Values[39], 65535.0);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 91, "3101")).Values[43], 305.0);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 95, "0080")).Values[44], 32768.0);
    // A non-hex digit ends the rearranged text: "0G" then "12" reads "12" then stops.
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 75, "0G12")).Values[39], 0x120);
}

TEST(DecodeT2Frame, StrayCharactersReadAsTheHexTextOfTheWord)
{
    // A multi-byte reading is HexToDec of its rearranged digits, also when a
    // stray character cuts it short: four digits are a signed 16-bit word...
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 11, "G0G0DFEE")).Values[33], -4385.0);     // "EEDFG0G0"
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 3, "G0G0FFFF")).Values[32], 2147483647.0); // -1 without its sign bit
    // ...and a leading "0x" or "&H" is a prefix, not the end of the text.
    EXPECT_EQ(readRawField(frame(FrameKind::T2, 67, "340X"), 37), 0x34);
    EXPECT_EQ(decodeT2(frame(FrameKind::T2, 75, "FF&h")).Values[39], 255.0);
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
