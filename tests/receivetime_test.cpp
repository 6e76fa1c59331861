// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "receivetime.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace halcyra;

namespace {

const std::string kT2 = "T2" + std::string(96, '1');

// The receive time of every frame of `log`, "-" for none.
std::vector<std::string> receiveTimes(const std::string &log, std::optional<std::int64_t> fallbackDay,
                                      std::optional<UtcMillis> now)
{
    LogScanner scanner;
    ReceiveClock clock;
    clock.setFallbackDay(fallbackDay);
    clock.setNow(now);
    std::vector<std::string> times;
    forEachLine(log, [&](std::string_view line) {
        bool frame = false;
        clock.observe(scanner.scan(line, [&](FrameKind, std::string_view, const FrameTimeText &) { frame = true; }));
        if (frame)
            times.push_back(clock.received() ? formatUtcString(*clock.received()) : "-");
    });
    return times;
}

TEST(ReceiveClock, DatesFramesFromTheLogsStamps)
{
    const std::optional<std::int64_t> july22 = parseDate("2014-07-22");
    const struct Case {
        std::string log;
        std::vector<std::string> times;
        std::optional<std::int64_t> fallbackDay = {};
        std::optional<UtcMillis> now = {};
    } cases[] = {
        // A frame before any stamp has none; a UTC line dates the clock
        // stamps after it, with the seconds of a receive marker.
        {kT2 + "\n2014-07-22 10:15:30.250 UTC\n" + kT2 + "\n[10:17:18R] " + kT2 + "\n10:20 " + kT2,
         {"-", "2014-07-22T10:15:30.250Z", "2014-07-22T10:17:18.000Z", "2014-07-22T10:20:00.000Z"}},
        // Past midnight the clock goes back by more than twelve hours: the
        // next day; a clock a little out of order stays on its day.
        {"2014-07-22 23:59:50.000 UTC\n[00:00:10R] " + kT2 + "\n23:58 " + kT2 + "\n[00:01:00R] " + kT2,
         {"2014-07-23T00:00:10.000Z", "2014-07-23T23:58:00.000Z", "2014-07-24T00:01:00.000Z"}},
        {"[10:00:00R] " + kT2 + "\n2014-07-22 09:00:00.000 UTC\n[09:30:00R] " + kT2 + "\n[08:00:00R] " + kT2,
         {"-", "2014-07-22T09:30:00.000Z", "2014-07-22T08:00:00.000Z"}},
        // Clock stamps alone: dated by --date, rolling over from there.
        {"23:00 " + kT2 + "\n[01:00:00R] " + kT2, {"2014-07-22T23:00:00.000Z", "2014-07-23T01:00:00.000Z"}, july22},
        // A UTC line overrules --date.
        {"2014-08-01 12:00:00.000 UTC\n12:05 " + kT2, {"2014-08-01T12:05:00.000Z"}, july22},
        // While following: the day that puts the stamp within twelve hours of now.
        {"[23:59:58R] " + kT2 + "\n[00:00:02R] " + kT2,
         {"2014-07-22T23:59:58.000Z", "2014-07-23T00:00:02.000Z"},
         {},
         parseUtcTime("2014-07-23T00:00:01")},
        // Stamps that do not read as a time leave the frames after them undated.
        {"2014-07-22 10:00:00.000 UTC\n[25:10:00R] " + kT2 + "\n[10:05:00R] " + kT2, {"-", "2014-07-22T10:05:00.000Z"}},
        {"2014-02-30 10:00:00.000 UTC\n" + kT2 + "\n2014-07-22 10:00:00.000 UTC junk\n" + kT2,
         {"-", "2014-07-22T10:00:00.000Z"}},
        // Neither a date nor a following: no receive time.
        {"10:15 " + kT2, {"-"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(receiveTimes(c.log, c.fallbackDay, c.now), c.times) << c.log;
}

TEST(ReceiveClock, ReadsTimesAsWritten)
{
    const struct {
        const char *text, *utc; // utc nullptr: refused
    } cases[] = {
        {"2014-07-22", "2014-07-22T00:00:00.000Z"},
        {"2014-07-22T10:15", "2014-07-22T10:15:00.000Z"},
        {"2014-07-22 10:15:30.5Z", "2014-07-22T10:15:30.500Z"},
        {"2016-02-29T23:59:59.999Z", "2016-02-29T23:59:59.999Z"},
        {"2015-02-29", nullptr},
        {"2014-07-22T24:00", nullptr},
        {"2014-07-22T10:15:30.", nullptr},
        {"2014-7-22", nullptr},
        {"2014-07-22 ", nullptr},
    };
    for (const auto &c : cases) {
        const std::optional<UtcMillis> t = parseUtcTime(c.text);
        EXPECT_EQ(t ? formatUtcString(*t) : "refused", c.utc ? c.utc : "refused") << c.text;
        if (t) {
            EXPECT_EQ(parseUtcText(formatUtcString(*t)), t) << c.text;
        }
    }
}

} // namespace
