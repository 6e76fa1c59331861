// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra::archive {

// The public face of an archive, documented in the README: users write SQL
// against the views t1_records and t2_records, so their names and columns only
// ever grow, and kSchemaVersion counts the changes.
inline constexpr int kSchemaVersion = 1;
inline constexpr std::int32_t kApplicationId = 0x48414C43; // "HALC"

// The column of a catalogue field: its caption in lower case with each run of
// characters other than letters and digits replaced by one "_".
std::string fieldColumn(std::string_view caption);

inline std::string_view recordsView(FrameKind kind)
{
    return kind == FrameKind::T1 ? "t1_records" : "t2_records";
}

// The catalogue indexes of a kind's fields, in column order.
inline constexpr int firstField(FrameKind kind)
{
    return kind == FrameKind::T1 ? 0 : kFirstT2Field;
}
inline constexpr int fieldEnd(FrameKind kind)
{
    return kind == FrameKind::T1 ? kFirstT2Field : kFieldCount;
}

// How the archive keys a frame: a payload of hex digits as its bytes, so that
// the letter case and the blanks of a reception do not make it another frame
// (and half the size). A damaged payload, one with other characters, keeps
// its text, upper case, with anything but printable ASCII as "?": the window
// decodes those characters alike, as ending a reading.
struct FrameKey {
    std::array<char, kT1FrameLength - 2> data{};
    std::size_t size = 0;
    bool binary = false;

    std::string_view view() const { return {data.data(), size}; }
};
FrameKey frameKey(std::string_view payload);

// The payload's text in the archive: upper-case hex digits, or the damaged text.
std::string frameHex(std::string_view key, bool binary);

} // namespace halcyra::archive
