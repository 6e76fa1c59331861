// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <array>
#include <string_view>

namespace halcyra {

// The 16 payload bytes of a T2 frame that are shown as they stand: frame
// characters 31-40, 41-50 and 51-62, upper case.
struct T2RawTexts {
    std::array<char, 10> first{};
    std::array<char, 10> second{};
    std::array<char, 12> third{};

    std::string_view firstText() const { return {first.data(), first.size()}; }
    std::string_view secondText() const { return {second.data(), second.size()}; }
    std::string_view thirdText() const { return {third.data(), third.size()}; }
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
