// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "fields.h"
#include "numtext.h"
#include "numtext_reference.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ios>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

using namespace halcyra;

namespace {

// Both formatters take shortcuts to the rounding; they must give the same
// bytes as the plain correctly rounded conversions on every double. Each
// source aims at a place where a shortcut would slip.

// Random draws per source; the sanitizer build runs a quarter.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDraws = 1 << 19;
#else
constexpr int kDraws = 1 << 21;
#endif

using Values = std::vector<double>;

const auto fromText = [](const std::string &text) { return std::strtod(text.c_str(), nullptr); };

void withNeighbours(Values &values, double v, int ulps)
{
    double below = v, above = v;
    values.push_back(v);
    for (int i = 0; i < ulps; ++i) {
        values.push_back(below = std::nextafter(below, 0.0));
        values.push_back(above = std::nextafter(above, std::numeric_limits<double>::infinity()));
    }
}

// What the catalogue's formulas make of every 16-bit reading, and of 32-bit
// readings spread over their range.
Values catalogueValues()
{
    Values values;
    std::set<std::tuple<double, double, double, Reading>> seen;
    for (const FieldInfo &f : FieldCatalogue) {
        if (!seen.emplace(f.formula.scale, f.formula.divisor, f.formula.offset, f.reading).second)
            continue;
        for (std::int64_t k = 0; k < 65536; ++k) {
            std::int64_t raw = k;
            if (f.reading == Reading::Signed16)
                raw = k - 32768;
            else if (f.reading == Reading::Signed32 || f.reading == Reading::Low31)
                raw = (k - 32768) * 65537 + k % 7;
            values.push_back(f.formula.apply(static_cast<double>(raw)));
        }
    }
    return values;
}

// Every power of ten a double reaches, with its neighbours: the switch
// between plain and exponent form at 1E-05 and 1E+15, and the carry of
// 9.99999999999999|5 into the next power.
Values powersOfTen()
{
    Values values;
    for (int k = -323; k <= 308; ++k) {
        withNeighbours(values, fromText("1e" + std::to_string(k)), 40);
        withNeighbours(values, fromText("9999999999999995e" + std::to_string(k - 16)), 40);
        withNeighbours(values, fromText("9999999999999985e" + std::to_string(k - 16)), 4);
    }
    return values;
}

// Doubles nearest the midpoints between two 15-digit neighbours, and doubles
// that are such a midpoint exactly: m / 2^j with m odd is the 16-digit
// m * 5^j * 10^-j, whose last digit is 5.
Values halfwayCases()
{
    std::mt19937_64 random(15);
    Values values;
    std::uniform_int_distribution<std::int64_t> fifteen(100000000000000, 999999999999999);
    std::uniform_int_distribution<int> power(-330, 300);
    for (int i = 0; i < kDraws / 8; ++i)
        withNeighbours(values, fromText(std::to_string(fifteen(random)) + "5e" + std::to_string(power(random))), 2);
    std::int64_t fivePower = 1;
    for (int j = 0; j <= 22; ++j, fivePower *= 5) {
        const std::int64_t low = (1000000000000000 + fivePower - 1) / fivePower;
        const std::int64_t high = std::min<std::int64_t>(9999999999999999 / fivePower, std::int64_t{1} << 53);
        std::uniform_int_distribution<std::int64_t> odd(low / 2, (high - 1) / 2);
        for (int i = 0; i < kDraws / 64; ++i) {
            const std::int64_t m = j == 0 ? odd(random) / 5 * 10 + 5 : 2 * odd(random) + 1;
            if (m >= low && m <= high)
                withNeighbours(values, std::ldexp(static_cast<double>(m), -j), 1);
        }
    }
    return values;
}

// Doubles nearest the midpoints between two hundredths, of either sign, and
// the odd eighths, which are such midpoints exactly.
Values hundredthMidpoints()
{
    std::mt19937_64 random(100);
    Values values;
    for (int i = 0; i < kDraws / 8; ++i) {
        const std::uint64_t hundredths = (random() >> (random() % 64)) % 100000000000000000;
        withNeighbours(values, fromText((i % 2 ? "-" : "") + std::to_string(hundredths) + "5e-3"), 2);
        const std::uint64_t eighths = (random() >> (11 + random() % 53)) | 1;
        values.push_back(std::ldexp(static_cast<double>(eighths), -3) * (i % 2 ? -1 : 1));
    }
    return values;
}

// Any bit pattern at all: mostly far-out magnitudes, some subnormals.
Values randomBits()
{
    std::mt19937_64 random(64);
    Values values;
    for (int i = 0; i < kDraws; ++i)
        values.push_back(std::bit_cast<double>(random()));
    for (int i = 0; i < kDraws / 64; ++i)
        values.push_back(std::bit_cast<double>(random() >> 12));
    return values;
}

// Full 53-bit mantissas at the magnitudes telemetry has.
Values randomTelemetryMagnitudes()
{
    std::mt19937_64 random(53);
    std::uniform_int_distribution<int> power(-30, 60);
    Values values;
    for (int i = 0; i < kDraws; ++i)
        values.push_back(std::ldexp(static_cast<double>(random() >> 11 | std::uint64_t{1} << 52), power(random) - 52) *
                         (i % 2 ? -1 : 1));
    return values;
}

struct Source {
    const char *name;
    Values (*values)();
};

class NumberTextSweep : public ::testing::TestWithParam<Source> {};

TEST_P(NumberTextSweep, SameBytesAsLibraryConversion)
{
    using Formatter = std::size_t (*)(double, char, char *);
    const std::pair<Formatter, Formatter> formatters[] = {{formatGeneral, reference::formatGeneral},
                                                          {formatTwoDecimals, reference::formatTwoDecimals}};
    int failures = 0;
    for (double v : GetParam().values()) {
        for (const auto &[format, reference] : formatters) {
            char text[kNumberTextCapacity], expected[kNumberTextCapacity];
            const std::string_view got(text, format(v, ',', text)), want(expected, reference(v, ',', expected));
            EXPECT_EQ(got, want) << std::hexfloat << v;
            if (got != want && ++failures == 10)
                return;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Doubles, NumberTextSweep,
                         ::testing::Values(Source{"catalogue", catalogueValues}, Source{"powers", powersOfTen},
                                           Source{"halfway", halfwayCases}, Source{"hundredths", hundredthMidpoints},
                                           Source{"bits", randomBits}, Source{"magnitudes", randomTelemetryMagnitudes}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
