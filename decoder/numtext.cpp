// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "numtext.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace halcyra {

namespace {

std::size_t nonFinite(double value, char *out)
{
    const char *text = std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    const std::size_t n = std::strlen(text);
    std::memcpy(out, text, n);
    return n;
}

// Significant digits and power of ten of a positive value.
struct Decimal {
    char digits[17]; // the most a shortest double text has
    int count;
    int exponent;
};

// Reads what std::to_chars writes in scientific form: "d[.ddd]e+XX[X]".
inline void readScientific(const char *text, const char *end, Decimal &d)
{
    const char *e = end[-4] == 'e' ? end - 4 : end - 5;
    d.digits[0] = text[0];
    d.count = 1;
    if (e - text > 1) {
        d.count = static_cast<int>(e - text) - 1;
        std::memcpy(d.digits + 1, text + 2, static_cast<std::size_t>(d.count - 1));
    }
    int power = 0;
    for (const char *p = e + 2; p < end; ++p)
        power = power * 10 + (*p - '0');
    d.exponent = e[1] == '-' ? -power : power;
}

__extension__ typedef unsigned __int128 Wide;

constexpr std::uint64_t kFifteenDigits = 1'000'000'000'000'000;

// 10^0 to 10^19, all that 64 bits hold.
constexpr auto kPowersOfTen = [] {
    std::array<std::uint64_t, 20> powers{};
    std::uint64_t p = 1;
    for (std::uint64_t &power : powers) {
        power = p;
        p *= 10;
    }
    return powers;
}();

constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

inline void writePair(char *out, std::uint32_t value)
{
    std::memcpy(out, kDigitPairs + 2 * value, 2);
}

inline void writeFour(char *out, std::uint32_t value)
{
    writePair(out, value / 100);
    writePair(out + 2, value % 100);
}

// Magnitudes from 2^-16 (1.5e-5) to below 2^49 (5.6e14), all that telemetry
// holds, round to 15 digits exactly in integers: the value is m / 2^s, so
// m * 10^k / 2^s is a product and a shift, and the bits shifted out say
// whether to round up, a tie going to the even neighbour as the library does.
// The bounds keep 10^k within 64 bits and the product within 128.
inline bool roundInIntegers(double magnitude, Decimal &d)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
    const int binaryPower = static_cast<int>(bits >> 52) - 1023; // 2^binaryPower <= magnitude
    if (binaryPower < -16 || binaryPower > 48)
        return false;
    const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
    const int shift = 52 - binaryPower;
    // floor(binaryPower * log10(2)) over this range; the decade of the value
    // is this one or the next.
    int exponent = (binaryPower * 78913) >> 18;
    Wide scaled = Wide{mantissa} * kPowersOfTen[static_cast<std::size_t>(14 - exponent)];
    std::uint64_t whole = static_cast<std::uint64_t>(scaled >> shift);
    if (whole >= kFifteenDigits) {
        ++exponent;
        scaled = Wide{mantissa} * kPowersOfTen[static_cast<std::size_t>(14 - exponent)];
        whole = static_cast<std::uint64_t>(scaled >> shift);
    }
    const Wide rest = scaled & ((Wide{1} << shift) - 1);
    const Wide half = Wide{1} << (shift - 1);
    if ((rest > half || (rest == half && (whole & 1) != 0)) && ++whole == kFifteenDigits) {
        whole /= 10;
        ++exponent;
    }
    const auto high = static_cast<std::uint32_t>(whole / 100000000);
    const auto low = static_cast<std::uint32_t>(whole % 100000000);
    d.digits[0] = static_cast<char>('0' + high / 1000000);
    writePair(d.digits + 1, high / 10000 % 100);
    writeFour(d.digits + 3, high % 10000);
    writeFour(d.digits + 7, low / 10000);
    writeFour(d.digits + 11, low % 10000);
    d.count = 15;
    d.exponent = exponent;
    return true;
}

// Other magnitudes: converting with a precision is slow, while the shortest
// text that reads back as the same double is quicker and nearly always
// settles the 15-digit rounding:
// - With at most 15 digits it is the rounding itself. It lies within half a
//   unit in the last place of the value (at most 2^-53 of it, for a normal
//   double), well inside half a step of the 15-digit grid (more than 5e-16 of
//   it), and it is on that grid, so it is the grid point nearest the value.
//   (It cannot sit in the decade below the value: the power of ten between
//   them would be a shorter text.)
// - With 16 or 17 digits, rounding them gives the same as rounding the value
//   unless a midpoint between two 15-digit neighbours lies between the text
//   and the value. Such a midpoint has 16 digits and would read back as the
//   same double too, so it would have been chosen, being shorter than 17
//   digits or, at 16, nearer the value. Only a text that is the midpoint
//   itself leaves the direction open.
// Returns false for that case, which needs the slow conversion.
inline bool roundToFifteen(Decimal &d)
{
    const char next = d.digits[15];
    if (next == '5' && (d.count == 16 || d.digits[16] == '0'))
        return false;
    d.count = 15;
    if (next > '4') {
        int i = 14;
        while (d.digits[i] == '9') {
            d.digits[i] = '0';
            if (--i < 0) {
                d.digits[0] = '1';
                ++d.exponent;
                return true;
            }
        }
        ++d.digits[i];
    }
    return true;
}

} // namespace

std::size_t detail::layOutGeneral(const char *digits, int count, int exponent, bool negative, char decimalSeparator,
                                  char *out)
{
    while (count > 1 && digits[count - 1] == '0')
        --count;

    char *o = out;
    if (negative)
        *o++ = '-';
    if (exponent < -4 || exponent >= 15) {
        *o++ = digits[0];
        if (count > 1) {
            *o++ = decimalSeparator;
            std::memcpy(o, digits + 1, static_cast<std::size_t>(count - 1));
            o += count - 1;
        }
        *o++ = 'E';
        *o++ = exponent < 0 ? '-' : '+';
        const int power = exponent < 0 ? -exponent : exponent;
        if (power < 10)
            *o++ = '0';
        o = std::to_chars(o, o + 4, power).ptr;
    } else if (exponent < 0) {
        *o++ = '0';
        *o++ = decimalSeparator;
        for (int i = -1; i > exponent; --i)
            *o++ = '0';
        std::memcpy(o, digits, static_cast<std::size_t>(count));
        o += count;
    } else {
        const int whole = exponent + 1;
        for (int i = 0; i < whole; ++i)
            *o++ = i < count ? digits[i] : '0';
        if (count > whole) {
            *o++ = decimalSeparator;
            std::memcpy(o, digits + whole, static_cast<std::size_t>(count - whole));
            o += count - whole;
        }
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t formatGeneral(double value, char decimalSeparator, char *out)
{
    if (!std::isfinite(value))
        return nonFinite(value, out);
    if (value == 0.0) {
        out[0] = '0';
        return 1;
    }

    // Telemetry magnitudes are rounded exactly in integers, the others by way
    // of their shortest text, and the few cases that leaves open, as well as
    // subnormals, whose shortest text says nothing about 15 digits ("5e-324"),
    // by the library's slower conversion.
    const double magnitude = std::fabs(value);
    char text[32];
    Decimal d;
    bool decided = roundInIntegers(magnitude, d);
    if (!decided && magnitude >= std::numeric_limits<double>::min()) {
        readScientific(text, std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific).ptr, d);
        decided = d.count <= 15 || roundToFifteen(d);
    }
    if (!decided)
        readScientific(text, std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific, 14).ptr,
                       d);
    return detail::layOutGeneral(d.digits, d.count, d.exponent, value < 0, decimalSeparator, out);
}

std::string generalText(double value, char decimalSeparator)
{
    char buffer[kNumberTextCapacity];
    return std::string(buffer, formatGeneral(value, decimalSeparator, buffer));
}

std::size_t formatTwoDecimals(double value, char decimalSeparator, char *out)
{
    if (!std::isfinite(value))
        return nonFinite(value, out);
    const double magnitude = std::fabs(value);
    // Values beyond the fixed form's reach are not telemetry; show them generally.
    if (magnitude >= 1e15)
        return formatGeneral(value, decimalSeparator, out);

    // Hundredths rounded exactly, as in roundInIntegers; below 2^-8 a value
    // rounds to zero, and from there on m * 100 fits in 64 bits.
    std::uint64_t hundredths = 0;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(magnitude);
    const int binaryPower = static_cast<int>(bits >> 52) - 1023;
    if (binaryPower >= -8) {
        const std::uint64_t scaled = ((bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52) * 100;
        const int shift = 52 - binaryPower;
        hundredths = scaled >> shift;
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        const std::uint64_t half = std::uint64_t{1} << (shift - 1);
        hundredths += rest > half || (rest == half && (hundredths & 1) != 0);
    }

    char *o = out;
    // A negative value that rounds to zero shows as 0.00.
    if (value < 0 && hundredths != 0)
        *o++ = '-';
    o = std::to_chars(o, out + kNumberTextCapacity, hundredths / 100).ptr;
    *o++ = decimalSeparator;
    writePair(o, static_cast<std::uint32_t>(hundredths % 100));
    return static_cast<std::size_t>(o + 2 - out);
}

std::string twoDecimalsText(double value, char decimalSeparator)
{
    char buffer[kNumberTextCapacity];
    return std::string(buffer, formatTwoDecimals(value, decimalSeparator, buffer));
}

std::size_t formatFixed(double value, int decimals, char decimalSeparator, char *out)
{
    if (!std::isfinite(value))
        return nonFinite(value, out);
    if (std::fabs(value) >= 1e15)
        return formatGeneral(value, decimalSeparator, out);
    decimals = std::clamp(decimals, 0, kMostFixedDecimals);
    // At most 15 digits before the point, 12 after it, a sign: within the capacity.
    char *end = std::to_chars(out, out + kNumberTextCapacity, value, std::chars_format::fixed, decimals).ptr;
    char *point = std::find(out, end, '.');
    if (point != end)
        *point = decimalSeparator;
    if (out[0] == '-' && std::all_of(out + 1, end, [&](char c) { return c == '0' || c == decimalSeparator; })) {
        std::memmove(out, out + 1, static_cast<std::size_t>(end - out - 1));
        --end;
    }
    return static_cast<std::size_t>(end - out);
}

} // namespace halcyra
