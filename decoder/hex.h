// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace halcyra {

namespace detail {
inline constexpr std::uint8_t kNotHex = 0xFF;
inline constexpr std::array<std::uint8_t, 256> kHexDigit = [] {
    std::array<std::uint8_t, 256> t{};
    for (auto &v : t)
        v = kNotHex;
    for (int c = '0'; c <= '9'; ++c)
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) {
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
        t[static_cast<std::size_t>(c - 'A' + 'a')] = static_cast<std::uint8_t>(c - 'A' + 10);
    }
    return t;
}();
} // namespace detail

inline constexpr std::uint8_t hexDigitValue(char c)
{
    return detail::kHexDigit[static_cast<unsigned char>(c)];
}
inline constexpr bool isHexDigit(char c)
{
    return hexDigitValue(c) != detail::kNotHex;
}

// Hex text to a signed 32-bit integer; never fails. An optional "0x" or "&H"
// prefix (any case) is skipped. Up to four digits read as a signed 16-bit
// word (8000 -> -32768); more digits read as a signed 32-bit word, so
// 0000FFFF is 65535 and FFFFFFFF is -1. A value beyond 32 bits gives 0.
std::int32_t HexToDec(std::string_view HexValue);

} // namespace halcyra
