// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The texts of a CSV line and of the grid beyond what the sample log's
// reference files hold: number forms at their edges, frame times that would
// break the line, separators that would break a field.

#include "csv.h"
#include "numtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>

using namespace halcyra;

namespace {

TEST(NumberText, GeneralAndTwoDecimalsAtTheirEdges)
{
    const struct {
        double value;
        const char *general, *twoDecimals;
    } cases[] = {{0.0, "0", "0.00"},
                 {-0.0, "0", "0.00"},
                 {12.346, "12.346", "12.35"},
                 {-0.001, "-0.001", "0.00"},
                 {1.0 / 3, "0.333333333333333", "0.33"},
                 {123456789012345, "123456789012345", "123456789012345.00"},
                 {1234567890123456, "1.23456789012346E+15", "1.23456789012346E+15"},
                 {1e16, "1E+16", "1E+16"},
                 {1.5e-7, "1.5E-07", "0.00"},
                 {0.0001, "0.0001", "0.00"},
                 {0.00001, "1E-05", "0.00"},
                 {-2147483648.0, "-2147483648", "-2147483648.00"},
                 {0.99999999999999999, "1", "1.00"},
                 {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324", "0.00"}};
    for (const auto &c : cases) {
        EXPECT_EQ(generalText(c.value), c.general);
        EXPECT_EQ(twoDecimalsText(c.value), c.twoDecimals) << c.general;
        std::string comma = c.general;
        std::replace(comma.begin(), comma.end(), '.', ',');
        EXPECT_EQ(generalText(c.value, ','), comma);
    }
}

TEST(NumberText, FitsTheBufferForEveryMagnitude)
{
    for (int e = -320; e <= 308; ++e) {
        const double v = -1.2345678901234567 * std::pow(10.0, e);
        EXPECT_LE(generalText(v).size(), kNumberTextCapacity);
        EXPECT_LE(twoDecimalsText(v).size(), kNumberTextCapacity);
    }
}

TEST(Csv, FrameTimesThatWouldBreakTheLineAreQuoted)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"10;15", "\"10;15\""},
        {"1\"5", "\"1\"\"5\""},
        {"=1+2", "\"'=1+2\""}, // a spreadsheet would run it as a formula
        {"-1:00", "\"'-1:00\""},
        {"\t1:00", "\"'\t1:00\""},
        {std::string(27, '"'), "\"" + std::string(54, '"') + "\""}, // the longest field
    };
    for (const auto &[time, field] : cases) {
        TelemetryRecord rec;
        rec.FrameTime.assign(time);
        std::string line;
        appendCsvRecord(line, rec, '.', true);
        std::string zeros;
        for (int i = 0; i < kFieldCount; ++i)
            zeros += "0;";
        EXPECT_EQ(line, field + ";" + zeros + "\r\n") << time;
    }
}

// The History export's cells go through the same rule with "," between them.
TEST(Csv, TextCellsOfEitherSeparator)
{
    const std::tuple<std::string, char, std::string> cases[] = {
        {"QZ7ZQ home", ',', "QZ7ZQ home"},
        {"QZ7ZQ; home", ',', "QZ7ZQ; home"},
        {"QZ7ZQ, home", ',', "\"QZ7ZQ, home\""},
        {"QZ7ZQ, home", ';', "QZ7ZQ, home"},
        {"two\nlines\r", ',', "\"two\nlines\r\""},
        {"=HYPERLINK(\"http://evil.example/x\",\"Open\")", ',',
         "\"'=HYPERLINK(\"\"http://evil.example/x\"\",\"\"Open\"\")\""},
        {"+1", ',', "\"'+1\""},
        {"@SUM(A1)", ';', "\"'@SUM(A1)\""},
        {"a=b", ',', "a=b"}, // only a leading formula start counts
    };
    for (const auto &[text, separator, cell] : cases) {
        std::string out = "x";
        appendCsvText(out, text, separator);
        EXPECT_EQ(out, "x" + cell) << text;
    }
}

TEST(Csv, DecimalSeparatorNeverBreaksAField)
{
    const std::pair<std::string_view, char> cases[] = {
        {".", '.'}, {",", ','}, {";", '.'}, {"\"", '.'}, {"", '.'}, {"\xD9\xAB", '.'} /* Arabic, two bytes */,
    };
    for (const auto &[point, separator] : cases)
        EXPECT_EQ(decimalSeparatorFor(point), separator) << point;
}

} // namespace
