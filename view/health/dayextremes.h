// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "extremes.h"
#include "receivetime.h"
#include "record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace halcyra::health {

// The extremes of every field over the last 24 hours, to the minute: a value
// counts while its minute is one of the 1440 that end with the minute of the
// day's end. Readings are kept as one smallest and one largest value per
// field and minute, so a day of any number of frames takes the same memory
// (1 MB), adding a reading costs the same whatever came before, and only a
// minute falling out of the day makes the extremes be sought again.
class DayExtremes {
public:
    static constexpr std::int64_t kMinuteMs = 60'000;
    static constexpr int kMinutes = 24 * 60;

    DayExtremes();

    // The fields of a frame of `kind` received at `time`. A frame from before
    // the day is left out; one after its end moves the end to it. Returns the
    // fields whose extremes changed (bit i: field i).
    std::uint64_t add(FrameKind kind, const TelemetryRecord &record, UtcMillis time);
    // The day ends at `now`, or where the newest frame put it if that is
    // later. Returns the fields whose extremes changed.
    std::uint64_t advance(UtcMillis now);
    // Both days' readings, over the later end of the two.
    void merge(const DayExtremes &other);

    const Extremes &of(int field) const { return totals_[static_cast<std::size_t>(field)]; }
    bool empty() const { return !end_.has_value(); }

private:
    static std::int64_t minuteOf(UtcMillis t);
    std::size_t slotOf(std::int64_t minute) const;
    // Moves the last minute of the day on; returns the fields whose extremes
    // changed as readings fell out.
    std::uint64_t moveEnd(std::int64_t minute);
    void clearSlot(std::size_t slot);
    std::uint64_t total();

    std::optional<std::int64_t> end_; // the minute that ends the day
    std::vector<std::int64_t> slotMinute_;
    std::vector<Extremes> slots_; // kMinutes x kFieldCount, a minute's fields together
    std::array<Extremes, kFieldCount> totals_{};
};

} // namespace halcyra::health
