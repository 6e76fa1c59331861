// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Both number texts of any double, taken as the input's eight bytes, against
// the plain library conversions they must match byte for byte.

#include "check.h"
#include "numtext.h"
#include "numtext_reference.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::uint8_t bytes[sizeof(double)] = {};
    std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);
    double value;
    std::memcpy(&value, bytes, sizeof value);

    using Formatter = std::size_t (*)(double, char, char *);
    const std::pair<Formatter, Formatter> formatters[] = {
        {halcyra::formatGeneral, halcyra::reference::formatGeneral},
        {halcyra::formatTwoDecimals, halcyra::reference::formatTwoDecimals},
    };
    for (const auto &[format, reference] : formatters) {
        for (char separator : {'.', ','}) {
            char text[halcyra::kNumberTextCapacity], expected[halcyra::kNumberTextCapacity];
            const std::size_t n = format(value, separator, text);
            FUZZ_CHECK(n <= sizeof text);
            FUZZ_CHECK(std::string_view(text, n) == std::string_view(expected, reference(value, separator, expected)));
        }
    }
    return 0;
}
