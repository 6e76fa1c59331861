// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "dayextremes.h"
#include "extremes.h"
#include "fieldlimits.h"
#include "receivetime.h"
#include "record.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace halcyra::health {

// What a step changed, field by field (bit i: field i): the newest value
// and its state, the pass extremes and the day's. A frame mostly repeats
// what the one before said, and the view paints only what changed.
struct ChangedRows {
    using Mask = std::uint64_t;
    static constexpr Mask kAll = (Mask{1} << kFieldCount) - 1;

    Mask values = 0;
    Mask pass = 0;
    Mask day = 0;

    bool empty() const { return (values | pass | day) == 0; }
    static ChangedRows all() { return {kAll, kAll, kAll}; }
    ChangedRows &operator|=(const ChangedRows &o)
    {
        values |= o.values;
        pass |= o.pass;
        day |= o.day;
        return *this;
    }
};

// How every field stands, frame by frame, without a widget: its newest
// value and that value's state against the limits, its extremes over the
// current pass and over the last 24 hours, and when the newest frame of each
// kind was received. Each frame costs the same few steps per field, whatever
// came before.
//
// A pass ends, as for the station, when no frame was received for 10
// minutes: a frame received later than that after the newest one begins the
// next pass; one received that long before the pass began belongs to an
// earlier pass and leaves the current one alone. A frame whose receive time
// is unknown belongs to the current pass and to no day; so does one received
// more than kClockSlackMs ahead of the clock (once the clock was given).
//
// The day holds the frames the window received together with those the
// archive holds, when one is given (mergeArchiveDay), so that a field's
// extremes do not depend on which of the two saw a frame first.
class HealthModel {
public:
    static constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
    // How far a station's clock may run ahead of this computer's.
    static constexpr std::int64_t kClockSlackMs = 5 * 60 * 1000;

    explicit HealthModel(const Limits &limits = {});

    // The limits the states are told against; every state follows at once.
    void setLimits(const Limits &limits);
    const Limits &limits() const { return limits_; }

    ChangedRows feed(FrameKind kind, const TelemetryRecord &record, std::optional<UtcMillis> received);
    // The clock moved on: minutes that leave the day drop out.
    ChangedRows advance(UtcMillis now);
    // The archive's day, read anew: it replaces the one read before.
    ChangedRows setArchiveDay(const DayExtremes &day);
    // The window's frames are gone (another log); what the archive holds stays.
    void clearFrames();

    // NaN before the first frame of the field's kind.
    double newest(int field) const { return newest_[at(field)]; }
    LimitState state(int field) const { return state_[at(field)]; }
    const Extremes &pass(int field) const { return pass_[at(field)]; }
    Extremes day(int field) const;
    // Whether any frame of the kind arrived, and when the newest received was received.
    bool seen(FrameKind kind) const { return seen_[kindAt(kind)]; }
    std::optional<UtcMillis> newestReceived(FrameKind kind) const { return received_[kindAt(kind)]; }
    // When the current pass began and its newest frame came, as far as known.
    std::optional<UtcMillis> passBegan() const { return passFirst_; }
    std::optional<UtcMillis> passLast() const { return passLast_; }

private:
    static std::size_t at(int field) { return static_cast<std::size_t>(field); }
    static std::size_t kindAt(FrameKind kind) { return kind == FrameKind::T1 ? 0 : 1; }
    enum class PassStep : std::uint8_t { Joined, Began, Earlier };
    // Where a frame received at `t` belongs.
    PassStep joinPass(std::optional<UtcMillis> t);

    Limits limits_;
    std::array<double, kFieldCount> newest_{};
    std::array<LimitState, kFieldCount> state_{};
    std::array<Extremes, kFieldCount> pass_{};
    std::optional<UtcMillis> passFirst_, passLast_;
    std::array<bool, 2> seen_{};
    std::array<std::optional<UtcMillis>, 2> received_{};
    DayExtremes windowDay_;
    DayExtremes archiveDay_;
    std::optional<UtcMillis> now_;
};

// A span of time as the Health view tells an age: "42 s", "5 min 3 s",
// "3 h 12 min", "2 d 4 h". A negative span (a receive time ahead of the
// clock) is "0 s".
std::string elapsedText(std::int64_t ms);

} // namespace halcyra::health
