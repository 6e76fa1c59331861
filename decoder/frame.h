// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <array>
#include <string_view>

namespace halcyra {

// The 16 payload bytes of a T2 frame that the window shows as they stand, in
// three boxes, upper case: where each box's text stands in the frame (counted
// from 0, tag included).
struct RawTextBox {
    std::size_t first;
    std::size_t length;
};
inline constexpr std::array<RawTextBox, 3> kT2RawTextBoxes{{
    {30, 10},
    {40, 10},
    {50, 12},
}};
inline constexpr std::size_t kT2RawTextsFirst = kT2RawTextBoxes.front().first;
inline constexpr std::size_t kT2RawTextsLength =
    kT2RawTextBoxes.back().first + kT2RawTextBoxes.back().length - kT2RawTextsFirst;
static_assert(kT2RawTextBoxes[1].first == kT2RawTextBoxes[0].first + kT2RawTextBoxes[0].length &&
                  kT2RawTextBoxes[2].first == kT2RawTextBoxes[1].first + kT2RawTextBoxes[1].length &&
                  kT2RawTextsFirst + kT2RawTextsLength <= kT2FrameLength,
              "the boxes show one run of the frame");

struct T2RawTexts {
    std::array<char, kT2RawTextsLength> chars{};

    std::string_view text(std::size_t box) const
    {
        const RawTextBox &b = kT2RawTextBoxes[box];
        return {chars.data() + (b.first - kT2RawTextsFirst), b.length};
    }
};

// `frame` is a cleaned frame text: the tag followed by the payload digits
// (130 characters for T1, 98 for T2). Hex digits may be in either case.
// Every byte, and every multi-byte word with its bytes put high byte first,
// reads as HexToDec reads that text, so a character that is not a hex digit
// ends the reading of its byte or word. Only the values of the frame's own
// kind are written.
void DecodeT1Frame(std::string_view frame, TelemetryRecord &Rec);
T2RawTexts DecodeT2Frame(std::string_view frame, TelemetryRecord &Rec);

// The raw integer of one catalogue field, before its formula.
std::int64_t readRawField(std::string_view frame, int fieldIndex);

} // namespace halcyra
