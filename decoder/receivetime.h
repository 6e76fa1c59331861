// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "parser.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// UTC instants in milliseconds since 1970-01-01T00:00:00Z, days since that date.
using UtcMillis = std::int64_t;
inline constexpr UtcMillis kMillisPerDay = 86'400'000;

// The system clock's time, for frames that arrive while a log is followed.
UtcMillis utcNow();

// "YYYY-MM-DDTHH:MM:SS.sssZ", the receive time's text in the archive. Text of
// this one shape sorts as the instants do.
inline constexpr std::size_t kUtcTextLength = 24;
using UtcText = std::array<char, kUtcTextLength>;
// Nothing for instants outside the years 0000-9999, which four digits cannot write.
std::optional<UtcText> formatUtc(UtcMillis t);
std::string formatUtcString(UtcMillis t); // empty outside those years

// Reads formatUtc's text back; nothing for any other text.
std::optional<UtcMillis> parseUtcText(std::string_view text);

// A time a person writes on the command line: a date "YYYY-MM-DD" (its
// midnight), or a date and time "YYYY-MM-DDTHH:MM", ":SS" and ".s" to ".sss"
// optional, "T" or a blank between, an optional "Z" at the end. Always UTC.
std::optional<UtcMillis> parseUtcTime(std::string_view text);

// Days since 1970 of a calendar date "YYYY-MM-DD"; nothing for a date that does not exist.
std::optional<std::int64_t> parseDate(std::string_view text);

// The receive time of the frames of a log, from its time stamps: a UTC line
// gives date and time; a clock-only stamp (a receive marker or a clock
// prefix) takes its date from the most recent UTC line before it, one day
// later each time the clock goes back by more than twelve hours. Before the
// first UTC line that date comes from the fallback day, or, while a log is
// followed, from the current instant; otherwise the receive time is unknown.
// Frames before the first stamp have none, and neither do frames after a stamp
// that does not read as a time of day ("[25:61:00R]").
//
// Fed the outcome of every line, in order, it holds the receive time of a
// frame on the line just observed.
class ReceiveClock {
public:
    // Call before the first line: the day of the batch tool's --date option.
    void setFallbackDay(std::optional<std::int64_t> day);
    // While following a log, the instant the text being fed arrived. A
    // clock-only stamp with no UTC line before it then takes the date that
    // puts it within twelve hours of that instant: a stamp of 23:59:58 read
    // at 00:00:01 belongs to the day before.
    void setNow(std::optional<UtcMillis> now) { now_ = now; }

    void observe(const LineOutcome &line);

    std::optional<UtcMillis> received() const { return received_; }

private:
    void clockOnly(std::optional<UtcMillis> timeOfDay);

    std::optional<std::int64_t> day_;        // the day of the last UTC line, or the fallback day
    std::optional<UtcMillis> lastTimeOfDay_; // of the last stamp that day_ dates
    std::optional<UtcMillis> now_;
    std::optional<UtcMillis> received_;
};

} // namespace halcyra
