// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "fieldlimits.h"

#include "fields.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>

namespace halcyra {

std::string_view limitStateName(LimitState state)
{
    switch (state) {
    case LimitState::Green:
        return "green";
    case LimitState::Yellow:
        return "yellow";
    case LimitState::Red:
        return "red";
    }
    return "?";
}

std::string_view limitBoundName(LimitBound bound)
{
    static constexpr std::array<std::string_view, 4> kNames{"red_low", "yellow_low", "yellow_high", "red_high"};
    return kNames[static_cast<std::size_t>(bound)];
}

bool FieldLimits::active() const
{
    return enabled && std::any_of(bounds.begin(), bounds.end(), [](double b) { return std::isfinite(b); });
}

namespace {

std::string placeText(const std::string &file, int line, int column, const std::string &reason)
{
    if (line <= 0)
        return file + ": " + reason;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + reason;
}

} // namespace

LimitsError::LimitsError(std::string file, int line, int column, std::string reason)
    : std::runtime_error(placeText(file, line, column, reason)), file_(std::move(file)), line_(line), column_(column),
      reason_(std::move(reason))
{}

bool Limits::anyActive() const
{
    return std::any_of(fields_.begin(), fields_.end(), [](const FieldLimits &f) { return f.active(); });
}

namespace {

// Anything there, also a file that cannot be read or a dangling link: the
// load then says what is wrong with it rather than passing it over in silence.
bool present(const std::string &path)
{
    std::error_code error;
    return std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
}

} // namespace

std::optional<std::string> limitsFilePath(const std::optional<std::string> &confLimits, const char *xdgConfigHome,
                                          const char *home, std::string_view systemPath)
{
    if (confLimits && !confLimits->empty())
        return confLimits;
    std::string folder;
    if (xdgConfigHome && xdgConfigHome[0] == '/')
        folder = xdgConfigHome;
    else if (home && home[0] != '\0')
        folder = std::string(home) + "/.config";
    if (!folder.empty()) {
        std::string user = folder + "/halcyra/limits.toml";
        if (present(user))
            return user;
    }
    if (std::string system(systemPath); present(system))
        return system;
    return std::nullopt;
}

LimitEvaluator::LimitEvaluator(const Limits &limits)
{
    greenLow_.fill(-FieldLimits::kNone);
    greenHigh_.fill(FieldLimits::kNone);
    for (int i = 0; i < kFieldCount; ++i) {
        const FieldLimits &f = limits.field(i);
        if (!f.active())
            continue;
        limits_[static_cast<std::size_t>(i)] = f;
        watched_ |= FieldMask{1} << i;
        // A low yellow bound is never below its red one, and an absent one is infinite.
        greenLow_[static_cast<std::size_t>(i)] = std::max(f.bound(LimitBound::RedLow), f.bound(LimitBound::YellowLow));
        greenHigh_[static_cast<std::size_t>(i)] =
            std::min(f.bound(LimitBound::YellowHigh), f.bound(LimitBound::RedHigh));
    }
}

void LimitEvaluator::reset()
{
    tracks_.fill({});
    restless_ = 0;
    changeCount_ = 0;
}

// Most frames have every field green and at rest: one pass of comparisons
// without a branch finds that, and the few fields that need more take their
// step after it. A NaN fails the comparisons and takes its step, which skips it.
LimitEvaluator::FieldMask LimitEvaluator::needsStep(FrameKind kind, const TelemetryRecord &record) const
{
    const bool t1 = kind == FrameKind::T1;
    const std::size_t begin = t1 ? 0 : kFirstT2Field, end = t1 ? kFirstT2Field : kFieldCount;
    bool green = true;
    for (std::size_t i = begin; i < end; ++i)
        green &= (record.Values[i] >= greenLow_[i]) & (record.Values[i] <= greenHigh_[i]);
    const FieldMask ofKind = t1 ? (FieldMask{1} << kFirstT2Field) - 1 : ~((FieldMask{1} << kFirstT2Field) - 1);
    FieldMask mask = restless_ & ofKind;
    if (green)
        return mask;
    for (std::size_t i = begin; i < end; ++i)
        mask |= FieldMask{!((record.Values[i] >= greenLow_[i]) & (record.Values[i] <= greenHigh_[i]))} << i;
    return mask & watched_;
}

namespace {

// One level (yellow or red): `beyond` frames in a row against the confirmed
// `in` until `persistence` of them turn it. Without a branch: in a field that
// wavers about a bound it would be guessed wrong half the time.
inline void count(bool beyond, bool &in, std::uint32_t &run, std::uint32_t persistence)
{
    run = beyond != in ? run + 1 : 0;
    const bool turn = run >= persistence;
    in = in != turn;
    run = turn ? 0 : run;
}

LimitBound crossedBound(const FieldLimits &limits, LimitState worse, bool low)
{
    if (worse == LimitState::Yellow) {
        const LimitBound yellow = low ? LimitBound::YellowLow : LimitBound::YellowHigh;
        if (limits.has(yellow))
            return yellow;
    }
    return low ? LimitBound::RedLow : LimitBound::RedHigh;
}

} // namespace

// Inlined into feed(): a call for each stepping field cost a fifth of a busy frame.
[[gnu::always_inline]] inline void LimitEvaluator::step(int field, double value)
{
    if (std::isnan(value))
        return;
    const FieldLimits &limits = limits_[static_cast<std::size_t>(field)];
    // Bitwise, not logical: no branch to guess wrong on a wavering field.
    const auto &b = limits.bounds;
    const bool lowRed = value < b[0];
    const bool red = lowRed | (value > b[3]);
    const bool lowYellow = lowRed | (value < b[1]);
    const bool yellow = red | lowYellow | (value > b[2]);
    Track &t = tracks_[static_cast<std::size_t>(field)];
    t.low = yellow ? lowYellow : t.low;
    count(yellow, t.yellow, t.yellowRun, limits.persistence);
    count(red, t.red, t.redRun, limits.persistence);
    const LimitState now = t.red ? LimitState::Red : t.yellow ? LimitState::Yellow : LimitState::Green;
    if (now != t.state) {
        const LimitBound bound = crossedBound(limits, std::max(now, t.state), t.low);
        changes_[static_cast<std::size_t>(changeCount_++)] = {field, value, now, t.state, bound, limits.bound(bound)};
        t.state = now;
    }
    const FieldMask bit = FieldMask{1} << field;
    restless_ = t.atRest() ? restless_ & ~bit : restless_ | bit;
}

std::span<const LimitChange> LimitEvaluator::feed(FrameKind kind, const TelemetryRecord &record)
{
    changeCount_ = 0;
    for (FieldMask mask = needsStep(kind, record); mask != 0; mask &= mask - 1) {
        const int field = std::countr_zero(mask);
        step(field, record.Values[static_cast<std::size_t>(field)]);
    }
    return {changes_.data(), static_cast<std::size_t>(changeCount_)};
}

} // namespace halcyra
