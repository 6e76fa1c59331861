// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "dayextremes.h"

#include <algorithm>
#include <limits>

namespace halcyra::health {

namespace {

constexpr std::int64_t kNoMinute = std::numeric_limits<std::int64_t>::min();

int firstField(FrameKind kind)
{
    return kind == FrameKind::T1 ? 0 : kFirstT2Field;
}
int endField(FrameKind kind)
{
    return kind == FrameKind::T1 ? kFirstT2Field : kFieldCount;
}

} // namespace

DayExtremes::DayExtremes() : slotMinute_(kMinutes, kNoMinute), slots_(static_cast<std::size_t>(kMinutes) * kFieldCount)
{}

std::int64_t DayExtremes::minuteOf(UtcMillis t)
{
    // Rounded down also before 1970, so that a minute is always 60 s long.
    return t >= 0 ? t / kMinuteMs : -((-t + kMinuteMs - 1) / kMinuteMs);
}

std::size_t DayExtremes::slotOf(std::int64_t minute) const
{
    return static_cast<std::size_t>(((minute % kMinutes) + kMinutes) % kMinutes);
}

void DayExtremes::clearSlot(std::size_t slot)
{
    slotMinute_[slot] = kNoMinute;
    std::fill_n(slots_.begin() + static_cast<std::ptrdiff_t>(slot * kFieldCount), kFieldCount, Extremes{});
}

std::uint64_t DayExtremes::moveEnd(std::int64_t minute)
{
    if (!end_) {
        end_ = minute;
        return 0;
    }
    if (minute <= *end_)
        return 0;
    // The minutes that leave the day are those after the old start up to the new one.
    const std::int64_t steps = std::min<std::int64_t>(minute - *end_, kMinutes);
    bool fell = false;
    for (std::int64_t m = minute - kMinutes - steps + 1; m <= minute - kMinutes; ++m) {
        const std::size_t slot = slotOf(m);
        if (slotMinute_[slot] != kNoMinute && slotMinute_[slot] <= minute - kMinutes) {
            clearSlot(slot);
            fell = true;
        }
    }
    end_ = minute;
    return fell ? total() : 0;
}

std::uint64_t DayExtremes::add(FrameKind kind, const TelemetryRecord &record, UtcMillis time)
{
    const std::int64_t minute = minuteOf(time);
    std::uint64_t changed = moveEnd(minute);
    if (minute <= *end_ - kMinutes)
        return changed;
    const std::size_t slot = slotOf(minute);
    if (slotMinute_[slot] != minute) {
        clearSlot(slot);
        slotMinute_[slot] = minute;
    }
    Extremes *fields = &slots_[slot * kFieldCount];
    for (int i = firstField(kind); i < endField(kind); ++i) {
        const double value = record.Values[static_cast<std::size_t>(i)];
        fields[i].add(value);
        if (totals_[static_cast<std::size_t>(i)].add(value))
            changed |= std::uint64_t{1} << i;
    }
    return changed;
}

std::uint64_t DayExtremes::advance(UtcMillis now)
{
    return moveEnd(minuteOf(now));
}

void DayExtremes::merge(const DayExtremes &other)
{
    if (!other.end_)
        return;
    moveEnd(*other.end_);
    for (std::size_t slot = 0; slot < slotMinute_.size(); ++slot) {
        const std::int64_t minute = other.slotMinute_[slot];
        if (minute == kNoMinute || minute <= *end_ - kMinutes)
            continue;
        if (slotMinute_[slot] != minute) {
            clearSlot(slot);
            slotMinute_[slot] = minute;
        }
        for (std::size_t i = 0; i < kFieldCount; ++i)
            slots_[slot * kFieldCount + i].add(other.slots_[slot * kFieldCount + i]);
    }
    total();
}

std::uint64_t DayExtremes::total()
{
    const std::array<Extremes, kFieldCount> before = totals_;
    totals_.fill(Extremes{});
    for (std::size_t slot = 0; slot < slotMinute_.size(); ++slot) {
        if (slotMinute_[slot] == kNoMinute)
            continue;
        for (std::size_t i = 0; i < kFieldCount; ++i)
            totals_[i].add(slots_[slot * kFieldCount + i]);
    }
    std::uint64_t changed = 0;
    for (std::size_t i = 0; i < kFieldCount; ++i)
        if (!(totals_[i] == before[i]))
            changed |= std::uint64_t{1} << i;
    return changed;
}

} // namespace halcyra::health
