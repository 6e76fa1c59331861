// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halcyra {

// How far a value is from where its field should be. The order is severity.
enum class LimitState : std::uint8_t { Green, Yellow, Red };

enum class LimitBound : std::uint8_t { RedLow, YellowLow, YellowHigh, RedHigh };

std::string_view limitStateName(LimitState state);
// As the limits file spells it: "red_low" and so on.
std::string_view limitBoundName(LimitBound bound);

// The limits of one field. A bound the file leaves out is infinite, so every
// comparison holds for it and none is ever crossed. A bound is the last value
// of the better side: a value below red_low is red, red_low itself is not;
// above red_high is red, red_high itself is not; the same for yellow.
struct FieldLimits {
    static constexpr double kNone = std::numeric_limits<double>::infinity();

    std::array<double, 4> bounds{-kNone, -kNone, kNone, kNone}; // by LimitBound
    std::uint32_t persistence = 1;
    bool enabled = true;

    double bound(LimitBound b) const { return bounds[static_cast<std::size_t>(b)]; }
    bool has(LimitBound b) const { return bound(b) != kNone && bound(b) != -kNone; }
    // A field that is enabled and has at least one bound.
    bool active() const;
};

// The limits file refused, as "FILE:LINE:COLUMN: reason" (line and column
// from 1), or "FILE: reason" when the fault is not at a place in the text.
class LimitsError : public std::runtime_error {
public:
    LimitsError(std::string file, int line, int column, std::string reason);

    const std::string &file() const { return file_; }
    int line() const { return line_; }
    int column() const { return column_; }
    const std::string &reason() const { return reason_; }

private:
    std::string file_;
    int line_;
    int column_;
    std::string reason_;
};

// The limits of every catalogue field. Default-constructed, no field is
// limited: that is what applies while no limits file exists.
class Limits {
public:
    // The text of a limits file; `name` stands for the file in messages.
    // Throws LimitsError for anything short of a sound file, so limits are
    // applied whole or not at all.
    static Limits fromText(std::string_view text, std::string_view name);
    // Reads the file first; a file that cannot be read is refused alike.
    static Limits fromFile(const std::string &path);

    const FieldLimits &field(int index) const { return fields_[static_cast<std::size_t>(index)]; }
    // For limits made in code rather than read: the caller keeps what a file
    // must, bounds in order and a persistence of at least 1.
    FieldLimits &field(int index) { return fields_[static_cast<std::size_t>(index)]; }
    bool anyActive() const;

private:
    std::array<FieldLimits, kFieldCount> fields_{};
};

// Far beyond any real limits file; a larger one is refused unread.
inline constexpr std::uintmax_t kLimitsFileSizeLimit = 1 << 20;

inline constexpr std::string_view kSystemLimitsPath = "/etc/halcyra/limits.toml";

// The limits file that applies, first found of:
//   conf.ini's LIMITS when it is set and not empty, whether or not the file
//     exists (a named file that is missing is an error the load reports, not
//     a reason to fall back on another);
//   $XDG_CONFIG_HOME/halcyra/limits.toml, or ~/.config/halcyra/limits.toml
//     when XDG_CONFIG_HOME is unset, empty or relative (which the XDG rules
//     say to ignore);
//   `systemPath`.
// Nothing when none applies: then no limits apply.
std::optional<std::string> limitsFilePath(const std::optional<std::string> &confLimits, const char *xdgConfigHome,
                                          const char *home, std::string_view systemPath = kSystemLimitsPath);

// One field's confirmed change of state. `bound` is the one the field
// crossed: into a worse state, the bound of that state on the side the value
// lies (the red one where the field has no yellow bound on that side); back
// into a better state, the bound of the state it leaves, on the side it was.
struct LimitChange {
    int field = 0;
    double value = 0; // the value of the frame that made the change count
    LimitState state = LimitState::Green;
    LimitState previous = LimitState::Green;
    LimitBound bound = LimitBound::RedLow;
    double limit = 0; // the value of `bound`
};

// Follows every limited field through the frames of a stream, in arrival
// order, and reports each change of state once it has persisted.
//
// Persistence p: a field takes a state only after p frames in a row at or
// beyond it, and leaves it only after p frames in a row short of it. Yellow
// and red are counted apart, and a red frame counts as a frame at or beyond
// yellow too: with p = 2, frames red, yellow make the field yellow; red,
// yellow, red, yellow keep a red field red and never make a green one red.
// A NaN value is no reading: it neither counts nor breaks a run.
class LimitEvaluator {
public:
    explicit LimitEvaluator(const Limits &limits);

    // The fields of a frame of `kind`; only those are read from `record`.
    // The changes this frame confirmed, valid until the next call. No
    // allocation, no text: this runs for every frame of a decode.
    std::span<const LimitChange> feed(FrameKind kind, const TelemetryRecord &record);

    LimitState state(int field) const { return tracks_[static_cast<std::size_t>(field)].state; }
    // Every field green again, every run forgotten: a new stream.
    void reset();

private:
    struct Track {
        std::uint32_t yellowRun = 0; // frames in a row against `yellow`
        std::uint32_t redRun = 0;
        bool yellow = false; // at or beyond yellow, confirmed
        bool red = false;
        bool low = false; // the last frame beyond yellow was on the low side
        LimitState state = LimitState::Green;
    };
    using FieldMask = std::uint64_t; // bit i: field i
    static_assert(kFieldCount <= 64);

    FieldMask needsStep(FrameKind kind, const TelemetryRecord &record) const;
    void step(int field, double value);
    void settle(int field);

    std::array<FieldLimits, kFieldCount> limits_{};
    FieldMask watched_ = 0; // enabled, with a bound
    // A run under way: these take a step whatever their value.
    FieldMask restless_ = 0;
    // The values that leave a field without a run as it is: its state's band,
    // on the side it was last; everything for a field not watched.
    std::array<double, kFieldCount> restLow_{}, restHigh_{};
    std::array<Track, kFieldCount> tracks_{};
    std::array<LimitChange, kFieldCount> changes_{};
    int changeCount_ = 0;
};

} // namespace halcyra
