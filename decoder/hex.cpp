// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "hex.h"

namespace halcyra {

std::int32_t HexToDec(std::string_view HexValue)
{
    std::string_view digits = HexValue;
    if (digits.size() >= 2) {
        const char a = digits[0];
        const char b = digits[1];
        if ((a == '0' && (b == 'x' || b == 'X')) || (a == '&' && (b == 'h' || b == 'H')))
            digits.remove_prefix(2);
    }

    // Leading zeros do not count towards the width, so only an overflow of the
    // value itself can make the text unreadable.
    std::uint64_t value = 0;
    int count = 0;
    for (char c : digits) {
        const std::uint8_t d = hexDigitValue(c);
        if (d == detail::kNotHex)
            break;
        value = (value << 4) | d;
        if (value > 0xFFFFFFFFu)
            return 0;
        ++count;
    }

    if (count <= 4)
        return value >= 0x8000 ? static_cast<std::int32_t>(value) - 0x10000 : static_cast<std::int32_t>(value);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

} // namespace halcyra
