// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// HexToDec and the hex digit helpers on arbitrary text, against the rules
// written out the slow way.

#include "check.h"
#include "hex.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kDigits = "0123456789abcdef";

int digitValue(char c)
{
    const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const std::size_t at = kDigits.find(lower);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::int32_t referenceHexToDec(std::string_view text)
{
    if (text.size() >= 2) {
        const std::string first(text.substr(0, 2));
        if (first == "0x" || first == "0X" || first == "&h" || first == "&H")
            text.remove_prefix(2);
    }
    std::string digits;
    for (char c : text) {
        if (digitValue(c) < 0)
            break;
        digits += c;
    }
    const std::size_t firstSignificant = digits.find_first_not_of('0');
    const std::string significant =
        firstSignificant == std::string::npos ? std::string() : digits.substr(firstSignificant);
    if (significant.size() > 8)
        return 0;
    std::int64_t value = 0;
    for (char c : significant)
        value = value * 16 + digitValue(c);
    if (digits.size() <= 4)
        return static_cast<std::int32_t>(value >= 0x8000 ? value - 0x10000 : value);
    return static_cast<std::int32_t>(value >= 0x80000000 ? value - 0x100000000 : value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    const std::int32_t value = halcyra::HexToDec(text);
    FUZZ_CHECK(value == referenceHexToDec(text));
    FUZZ_CHECK(value == halcyra::HexToDec(text));

    for (char c : text) {
        FUZZ_CHECK(halcyra::isHexDigit(c) == (digitValue(c) >= 0));
        if (digitValue(c) >= 0)
            FUZZ_CHECK(halcyra::hexDigitValue(c) == digitValue(c));
    }

    return 0;
}
