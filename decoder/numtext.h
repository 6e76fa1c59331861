// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstddef>
#include <string>

namespace halcyra {

// Longest text either formatter writes, e.g. "-1.23456789012346E-308".
inline constexpr std::size_t kNumberTextCapacity = 32;

// General number text, as the grid's counters, the chart and the CSV files
// write values: at most 15 significant digits, no trailing zeros, no grouping,
// plain form for exponents -4 to 14, otherwise mantissa, "E", sign and at least
// two digits (1E+16, 1.5E-07). Zero is "0". Returns the number of characters
// written to `out`, which must hold kNumberTextCapacity.
std::size_t formatGeneral(double value, char decimalSeparator, char *out);
std::string generalText(double value, char decimalSeparator = '.');

// Fixed two decimals, pattern "0.00": 12.346 is "12.35"; no "-0.00".
std::size_t formatTwoDecimals(double value, char decimalSeparator, char *out);
std::string twoDecimalsText(double value, char decimalSeparator = '.');

// Fixed `decimals` (0 to kMostFixedDecimals) after the separator, rounded
// from the exact binary value, no "-0.000"; from 1e15 on, general text.
inline constexpr int kMostFixedDecimals = 12;
std::size_t formatFixed(double value, int decimals, char decimalSeparator, char *out);

namespace detail {
// The general layout of `count` significant digits (trailing zeros are
// dropped) whose first stands at the decimal exponent `exponent`; shared
// with the reference conversion the tests hold formatGeneral to, which
// rounds its digits another way.
std::size_t layOutGeneral(const char *digits, int count, int exponent, bool negative, char decimalSeparator, char *out);
} // namespace detail

} // namespace halcyra
