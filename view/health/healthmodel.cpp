// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "healthmodel.h"

#include "limittext.h"
#include "passreport.h"

#include <algorithm>
#include <cstring>

namespace halcyra::health {

HealthModel::HealthModel(const Limits &limits) : limits_(limits)
{
    newest_.fill(kNoValue);
}

void HealthModel::setLimits(const Limits &limits)
{
    limits_ = limits;
    for (int i = 0; i < kFieldCount; ++i)
        state_[at(i)] = valueState(limits_.field(i), newest_[at(i)]);
}

HealthModel::PassStep HealthModel::joinPass(std::optional<UtcMillis> t)
{
    if (!t)
        return PassStep::Joined;
    // Frames of unknown time so far are of the pass this one dates.
    if (!passLast_) {
        passFirst_ = passLast_ = t;
        return PassStep::Joined;
    }
    if (*t > *passLast_ + PassReport::kPassGapMs) {
        pass_.fill(Extremes{});
        passFirst_ = passLast_ = t;
        return PassStep::Began;
    }
    if (*t < *passFirst_ - PassReport::kPassGapMs)
        return PassStep::Earlier;
    passFirst_ = std::min(*passFirst_, *t);
    passLast_ = std::max(*passLast_, *t);
    return PassStep::Joined;
}

ChangedRows HealthModel::feed(FrameKind kind, const TelemetryRecord &record, std::optional<UtcMillis> received)
{
    // A receive time far ahead of the clock is a stamp gone wrong (a mistyped
    // UTC line): taken as it is, it would end the day and begin a pass in the
    // future, and every true frame after it would be too old for either.
    if (received && now_ && *received > *now_ + kClockSlackMs)
        received.reset();
    const PassStep step = joinPass(received);
    const bool inPass = step != PassStep::Earlier;
    const int first = kind == FrameKind::T1 ? 0 : kFirstT2Field;
    const int end = kind == FrameKind::T1 ? kFirstT2Field : kFieldCount;
    ChangedRows changed;
    for (int i = first; i < end; ++i) {
        const double value = record.Values[at(i)];
        const ChangedRows::Mask bit = ChangedRows::Mask{1} << i;
        // Bit for bit, so that NaN after NaN is no change and after a number is one.
        if (std::memcmp(&newest_[at(i)], &value, sizeof value) != 0)
            changed.values |= bit;
        newest_[at(i)] = value;
        state_[at(i)] = valueState(limits_.field(i), value);
        if (inPass && pass_[at(i)].add(value))
            changed.pass |= bit;
    }
    const std::size_t k = kindAt(kind);
    seen_[k] = true;
    // A new pass empties every row's pass extremes, not only this kind's.
    if (step == PassStep::Began)
        changed.pass = ChangedRows::kAll;
    if (!received)
        return changed;
    if (!received_[k] || *received > *received_[k])
        received_[k] = received;
    // Both days end at the same minute, or one would hold readings the other has let go.
    changed.day = archiveDay_.advance(*received) | windowDay_.add(kind, record, *received);
    return changed;
}

ChangedRows HealthModel::advance(UtcMillis now)
{
    now_ = now;
    return {0, 0, windowDay_.advance(now) | archiveDay_.advance(now)};
}

ChangedRows HealthModel::setArchiveDay(const DayExtremes &day)
{
    archiveDay_ = day;
    if (now_)
        archiveDay_.advance(*now_);
    for (const std::optional<UtcMillis> &t : received_)
        if (t)
            archiveDay_.advance(*t);
    return {0, 0, ChangedRows::kAll};
}

void HealthModel::clearFrames()
{
    newest_.fill(kNoValue);
    state_.fill(LimitState::Green);
    pass_.fill(Extremes{});
    passFirst_.reset();
    passLast_.reset();
    seen_.fill(false);
    received_.fill(std::nullopt);
    windowDay_ = DayExtremes();
    if (now_)
        windowDay_.advance(*now_);
}

Extremes HealthModel::day(int field) const
{
    Extremes both = windowDay_.of(field);
    both.add(archiveDay_.of(field));
    return both;
}

std::string elapsedText(std::int64_t ms)
{
    const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
    const auto two = [](std::int64_t big, const char *bigUnit, std::int64_t small, const char *smallUnit) {
        return std::to_string(big) + " " + bigUnit + " " + std::to_string(small) + " " + smallUnit;
    };
    if (s < 60)
        return std::to_string(s) + " s";
    if (s < 3600)
        return two(s / 60, "min", s % 60, "s");
    if (s < 86400)
        return two(s / 3600, "h", s / 60 % 60, "min");
    return two(s / 86400, "d", s / 3600 % 24, "h");
}

} // namespace halcyra::health
