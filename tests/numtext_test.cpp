// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace halcyra;

namespace {

struct NumberCase {
    double value;
    const char *general;
    const char *twoDecimals;
};

void PrintTo(const NumberCase &c, std::ostream *os)
{
    *os << c.general;
}

class NumberTextTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberTextTest, PointAndComma)
{
    const NumberCase &c = GetParam();
    EXPECT_EQ(generalText(c.value), c.general);
    EXPECT_EQ(twoDecimalsText(c.value), c.twoDecimals);
    std::string comma = c.general;
    for (char &ch : comma)
        ch = ch == '.' ? ',' : ch;
    EXPECT_EQ(generalText(c.value, ','), comma);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NumberTextTest,
    ::testing::Values(NumberCase{0.0, "0", "0.00"}, NumberCase{-0.0, "0", "0.00"}, NumberCase{12.5, "12.5", "12.50"},
                      NumberCase{-0.25, "-0.25", "-0.25"}, NumberCase{305, "305", "305.00"},
                      NumberCase{12.346, "12.346", "12.35"}, NumberCase{-0.001, "-0.001", "0.00"},
                      NumberCase{1.0 / 3, "0.333333333333333", "0.33"},
                      NumberCase{91.57508999999999, "91.57509", "91.58"},
                      NumberCase{-89.55859230769232, "-89.5585923076923", "-89.56"},
                      NumberCase{1406040704, "1406040704", "1406040704.00"},
                      NumberCase{123456789012345, "123456789012345", "123456789012345.00"},
                      NumberCase{1234567890123456, "1.23456789012346E+15", "1.23456789012346E+15"},
                      NumberCase{1e16, "1E+16", "1E+16"}, NumberCase{1.5e-7, "1.5E-07", "0.00"},
                      NumberCase{0.0001, "0.0001", "0.00"}, NumberCase{0.00001, "1E-05", "0.00"},
                      NumberCase{-2147483648.0, "-2147483648", "-2147483648.00"},
                      NumberCase{0.99999999999999999, "1", "1.00"},
                      NumberCase{std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324", "0.00"}));

TEST(NumberText, FitsTheBufferForEveryMagnitude)
{
    for (int e = -320; e <= 308; ++e) {
        const double v = -1.2345678901234567 * std::pow(10.0, e);
        EXPECT_LE(generalText(v).size(), kNumberTextCapacity);
        EXPECT_LE(twoDecimalsText(v).size(), kNumberTextCapacity);
    }
}

} // namespace
