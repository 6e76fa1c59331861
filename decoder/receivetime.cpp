// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "receivetime.h"

#include <chrono>

namespace halcyra {

namespace {

constexpr UtcMillis kHalfDay = kMillisPerDay / 2;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number written by the digits at text[at, at + count); -1 when one is not a digit.
int digits(std::string_view text, std::size_t at, std::size_t count)
{
    if (at + count > text.size())
        return -1;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i]))
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

std::optional<std::int64_t> dayOf(int year, int month, int day)
{
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (year < 0 || month < 1 || day < 1 || !date.ok())
        return std::nullopt;
    return sys_days{date}.time_since_epoch().count();
}

// "hh:mm", or "hh:mm:ss" when `withSeconds`, as milliseconds into the day.
std::optional<UtcMillis> timeOfDay(std::string_view text, bool withSeconds)
{
    const int h = digits(text, 0, 2);
    const int m = digits(text, 3, 2);
    const int s = withSeconds ? digits(text, 6, 2) : 0;
    if (text.size() < (withSeconds ? 8u : 5u) || text[2] != ':' || (withSeconds && text[5] != ':'))
        return std::nullopt;
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
        return std::nullopt;
    return ((h * 60 + m) * 60 + s) * UtcMillis{1000};
}

// "YYYY-MM-DD", then after a "T" or a blank "hh:mm", ":ss" and a fraction of
// one to three digits optional; the instant and where the reading ended.
struct Reading {
    UtcMillis instant = 0;
    std::size_t end = 0;
};
std::optional<Reading> readDateTime(std::string_view text, bool requireTime)
{
    const int y = digits(text, 0, 4);
    const int mo = digits(text, 5, 2);
    const int d = digits(text, 8, 2);
    if (y < 0 || mo < 0 || d < 0 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const std::optional<std::int64_t> day = dayOf(y, mo, d);
    if (!day)
        return std::nullopt;
    Reading r{*day * kMillisPerDay, 10};
    if (text.size() == 10)
        return requireTime ? std::nullopt : std::optional(r);
    if (text[10] != ' ' && text[10] != 'T' && text[10] != 't')
        return std::nullopt;
    const std::string_view time = text.substr(11);
    const bool withSeconds = time.size() >= 8 && time[5] == ':';
    const std::optional<UtcMillis> tod = timeOfDay(time, withSeconds);
    if (!tod)
        return std::nullopt;
    r.instant += *tod;
    r.end = 11 + (withSeconds ? 8 : 5);
    if (withSeconds && r.end < text.size() && text[r.end] == '.') {
        UtcMillis scale = 100;
        std::size_t i = r.end + 1;
        for (; i < text.size() && isDigit(text[i]) && scale > 0; ++i, scale /= 10)
            r.instant += (text[i] - '0') * scale;
        if (i == r.end + 1)
            return std::nullopt;
        r.end = i;
    }
    return r;
}

} // namespace

UtcMillis utcNow()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<UtcText> formatUtc(UtcMillis t)
{
    using namespace std::chrono;
    const std::int64_t day = floorDiv(t, kMillisPerDay);
    const year_month_day date{sys_days{days{day}}};
    const int y = static_cast<int>(date.year());
    if (y < 0 || y > 9999)
        return std::nullopt;
    UtcMillis ms = t - day * kMillisPerDay;
    UtcText out;
    const auto put = [&](std::size_t at, unsigned value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            out[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, static_cast<unsigned>(y), 4);
    out[4] = '-';
    put(5, static_cast<unsigned>(date.month()), 2);
    out[7] = '-';
    put(8, static_cast<unsigned>(date.day()), 2);
    out[10] = 'T';
    put(11, static_cast<unsigned>(ms / 3'600'000), 2);
    out[13] = ':';
    put(14, static_cast<unsigned>(ms / 60'000 % 60), 2);
    out[16] = ':';
    put(17, static_cast<unsigned>(ms / 1000 % 60), 2);
    out[19] = '.';
    put(20, static_cast<unsigned>(ms % 1000), 3);
    out[23] = 'Z';
    return out;
}

std::string formatUtcString(UtcMillis t)
{
    const std::optional<UtcText> text = formatUtc(t);
    return text ? std::string(text->data(), text->size()) : std::string();
}

std::optional<UtcMillis> parseUtcText(std::string_view text)
{
    // One fixed shape, read field by field: a chart of a field reads one per record.
    if (text.size() != kUtcTextLength || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.' || text[23] != 'Z')
        return std::nullopt;
    const int h = digits(text, 11, 2);
    const int m = digits(text, 14, 2);
    const int s = digits(text, 17, 2);
    const int ms = digits(text, 20, 3);
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || ms < 0)
        return std::nullopt;
    const std::optional<std::int64_t> day = dayOf(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    if (!day)
        return std::nullopt;
    return *day * kMillisPerDay + ((h * 60 + m) * 60 + s) * UtcMillis{1000} + ms;
}

std::optional<UtcMillis> parseUtcTime(std::string_view text)
{
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z') && text.size() > 10)
        text.remove_suffix(1);
    const std::optional<Reading> r = readDateTime(text, false);
    if (!r || r->end != text.size())
        return std::nullopt;
    return r->instant;
}

std::optional<std::int64_t> parseDate(std::string_view text)
{
    const std::optional<Reading> r = text.size() == 10 ? readDateTime(text, false) : std::nullopt;
    if (!r)
        return std::nullopt;
    return r->instant / kMillisPerDay;
}

void ReceiveClock::setFallbackDay(std::optional<std::int64_t> day)
{
    day_ = day;
    lastTimeOfDay_.reset();
}

void ReceiveClock::observe(const LineOutcome &line)
{
    switch (line.stamp) {
    case StampRule::None:
        return;
    case StampRule::UtcLine: {
        // "2014-07-22 10:15:30.000 UTC": the fraction has three digits, and a
        // blank comes before UTC.
        const std::string_view text = line.stampText;
        const std::optional<Reading> r = text.size() == 27 && text[19] == '.' && text[23] == ' '
                                             ? readDateTime(text.substr(0, 23), true)
                                             : std::nullopt;
        if (!r || r->end != 23) {
            received_.reset();
            return;
        }
        day_ = floorDiv(r->instant, kMillisPerDay);
        lastTimeOfDay_ = r->instant - *day_ * kMillisPerDay;
        received_ = r->instant;
        return;
    }
    case StampRule::ReceiveMarker:
        clockOnly(timeOfDay(line.stampText, true));
        return;
    case StampRule::ClockPrefix:
        clockOnly(timeOfDay(line.stampText, false));
        return;
    }
}

void ReceiveClock::clockOnly(std::optional<UtcMillis> timeOfDay)
{
    if (!timeOfDay) {
        received_.reset();
        return;
    }
    if (day_) {
        if (lastTimeOfDay_ && *timeOfDay < *lastTimeOfDay_ - kHalfDay)
            ++*day_;
        lastTimeOfDay_ = timeOfDay;
        received_ = *day_ * kMillisPerDay + *timeOfDay;
    } else if (now_) {
        UtcMillis t = floorDiv(*now_, kMillisPerDay) * kMillisPerDay + *timeOfDay;
        if (t - *now_ > kHalfDay)
            t -= kMillisPerDay;
        else if (*now_ - t > kHalfDay)
            t += kMillisPerDay;
        received_ = t;
    } else {
        received_.reset();
    }
    // Past the year 9999 the text has no room: the time is as good as unknown.
    if (received_ && !formatUtc(*received_))
        received_.reset();
}

} // namespace halcyra
