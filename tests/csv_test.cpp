// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace halcyra;

namespace {

std::string zeros(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "0;";
    return s;
}

TEST(Csv, HeaderNamesEveryFieldOnce)
{
    std::string plain, timed = "kept:";
    appendCsvHeader(plain, false);
    appendCsvHeader(timed, true);
    EXPECT_TRUE(plain.starts_with("Uptime;X Cells Curr;Y Cells Curr;"));
    EXPECT_TRUE(plain.ends_with("COMM2 RX cnt;COMM2 TX cnt;\r\n"));
    EXPECT_EQ(std::count(plain.begin(), plain.end(), ';'), 45);
    EXPECT_NE(plain.find(";Uptime;COMM1 RSSI;"), std::string::npos); // the T2 uptime too
    EXPECT_EQ(timed, "kept:Frame time;" + plain);
}

TEST(Csv, RecordValuesInGeneralNumberText)
{
    TelemetryRecord rec;
    rec.Values[0] = 12.5;
    rec.Values[1] = -0.25;
    rec.Values[2] = 1.0 / 3;
    rec.Values[44] = 1e16;
    rec.FrameTime.assign("10:15");
    std::string point, comma, timed;
    appendCsvRecord(point, rec, '.', false);
    appendCsvRecord(comma, rec, ',', false);
    appendCsvRecord(timed, rec, '.', true);
    EXPECT_EQ(point, "12.5;-0.25;0.333333333333333;" + zeros(41) + "1E+16;\r\n");
    EXPECT_EQ(comma, "12,5;-0,25;0,333333333333333;" + zeros(41) + "1E+16;\r\n");
    EXPECT_EQ(timed, "10:15;" + point);
}

TEST(Csv, FrameTimesThatWouldBreakTheLineAreQuoted)
{
    struct Case {
        std::string time, field;
    } cases[] = {
        {"", ""},
        {"2014-07-22 10:15:30.000 UTC", "2014-07-22 10:15:30.000 UTC"},
        {"10;15", "\"10;15\""},
        {"1\"5", "\"1\"\"5\""},
        {"=1+2", "\"'=1+2\""}, // a spreadsheet would run it as a formula
        {"-1:00", "\"'-1:00\""},
        {"\t1:00", "\"'\t1:00\""},
        {std::string(27, '"'), "\"" + std::string(54, '"') + "\""}, // the longest field
    };
    for (const Case &c : cases) {
        TelemetryRecord rec;
        rec.FrameTime.assign(c.time);
        std::string line;
        appendCsvRecord(line, rec, '.', true);
        EXPECT_EQ(line, c.field + ";" + zeros(45) + "\r\n") << c.time;
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
