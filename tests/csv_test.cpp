// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The texts of a CSV line and of the grid beyond what the sample log's
// reference files hold: number forms at their edges, frame times that would
// break the line, separators that would break a field.

#include "csv.h"
#include "fields.h"
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

// A read-out tells each raw reading from its neighbours, with no decimal more than that takes.
TEST(NumberText, ReadingsToTheirFieldsResolution)
{
    const auto text = [](double value, int decimals) {
        char buffer[kNumberTextCapacity];
        return std::string(buffer, formatFixed(value, decimals, '.', buffer));
    };
    for (const FieldInfo &field : FieldCatalogue) {
        const int decimals = readingDecimals(field);
        bool fewerTellApart = decimals > 0;
        for (int raw = -3000; raw < 5000; ++raw) {
            const double value = field.formula.apply(raw), next = field.formula.apply(raw + 1);
            EXPECT_NE(text(value, decimals), text(next, decimals)) << field.caption << " " << raw;
            fewerTellApart = fewerTellApart && text(value, decimals - 1) != text(next, decimals - 1);
        }
        EXPECT_FALSE(fewerTellApart) << field.caption;
    }
    const std::tuple<int, double, std::string> cases[] = {
        {36, -98.5288621538462, "-98.53"}, // COMM1 RSSI
        {17, FieldCatalogue[17].formula.apply(6480), "7.912"},
        {1, 0.3052503 * 3, "0.9"},
        {19, -0.00001, "0.0000"}, // no minus sign on a zero
        {44, 65535, "65535"},
        {0, 1.0 / 1440, "0.0007"},
        {17, 2e15, "2E+15"},
        {17, std::numeric_limits<double>::quiet_NaN(), "NaN"},
    };
    for (const auto &[field, value, expected] : cases) {
        char buffer[kNumberTextCapacity];
        EXPECT_EQ(std::string(buffer, formatReading(FieldCatalogue[field], value, '.', buffer)), expected);
    }
    char buffer[kNumberTextCapacity];
    EXPECT_EQ(std::string(buffer, formatFixed(-123456789012345.5, kMostFixedDecimals, ',', buffer)),
              "-123456789012345,500000000000");
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
