// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

// The number texts as they were first written: every value's digits through
// the library's correctly rounded conversion with a precision. Slow but
// plainly right, they are what the tests, the fuzz target and the benchmark
// hold formatGeneral's rounding and formatTwoDecimals to. The layout of the
// digits is the program's own; the recorded CSV files hold it to account.
// Never linked into the program.

#include "numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace halcyra::reference {

inline std::size_t formatGeneral(double value, char decimalSeparator, char *out)
{
    if (!std::isfinite(value)) {
        const char *text = std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
        const std::size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return n;
    }
    if (value == 0.0) {
        out[0] = '0';
        return 1;
    }

    // 15 significant digits, correctly rounded: "-d.dddddddddddddde+XX".
    char sci[40];
    const auto res = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14);
    const char *p = sci;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    char digits[15];
    int count = 0;
    for (; p < res.ptr && *p != 'e'; ++p) {
        if (*p != '.')
            digits[count++] = *p;
    }
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), res.ptr, exponent);
    return detail::layOutGeneral(digits, count, exponent, negative, decimalSeparator, out);
}

inline std::size_t formatTwoDecimals(double value, char decimalSeparator, char *out)
{
    if (!std::isfinite(value))
        return formatGeneral(value, decimalSeparator, out);
    // Values beyond the fixed form's reach are not telemetry; show them generally.
    if (std::fabs(value) >= 1e15)
        return formatGeneral(value, decimalSeparator, out);
    char buffer[32];
    auto res = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    std::size_t n = static_cast<std::size_t>(res.ptr - buffer);
    const char *start = buffer;
    // A negative value that rounds to zero shows as 0.00.
    if (buffer[0] == '-' && std::all_of(buffer + 1, buffer + n, [](char c) { return c == '0' || c == '.'; })) {
        ++start;
        --n;
    }
    std::memcpy(out, start, n);
    for (std::size_t i = 0; i < n; ++i) {
        if (out[i] == '.')
            out[i] = decimalSeparator;
    }
    return n;
}

} // namespace halcyra::reference
