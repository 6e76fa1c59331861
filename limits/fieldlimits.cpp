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
    for (int i = 0; i < kFieldCount; ++i)
        if (const FieldLimits &f = limits.field(i); f.active()) {
            limits_[static_cast<std::size_t>(i)] = f;
            watched_ |= FieldMask{1} << i;
        }
    reset();
}

void LimitEvaluator::reset()
{
    tracks_.fill({});
    restless_ = 0;
    changeCount_ = 0;
    for (int i = 0; i < kFieldCount; ++i)
        settle(i);
}

// The band of values that change nothing in a field with no run under way:
// those of its state, on the side it was; the bounds are made inclusive with the
// next double, so that one comparison each way finds it.
void LimitEvaluator::settle(int field)
{
    const auto i = static_cast<std::size_t>(field);
    const Track &t = tracks_[i];
    const auto &b = limits_[i].bounds;
    constexpr double kInf = FieldLimits::kNone;
    const auto above = [](double v) { return std::nextafter(v, kInf); };
    const auto below = [](double v) { return std::nextafter(v, -kInf); };
    if (!(watched_ & FieldMask{1} << field)) {
        restLow_[i] = -kInf;
        restHigh_[i] = kInf;
    } else if (t.state == LimitState::Green) {
        // A low yellow bound is never below its red one, and an absent one is infinite.
        restLow_[i] = std::max(b[0], b[1]);
        restHigh_[i] = std::min(b[2], b[3]);
    } else if (t.state == LimitState::Yellow) {
        restLow_[i] = t.low ? b[0] : above(b[2]);
        restHigh_[i] = t.low ? below(b[1]) : b[3];
    } else {
        restLow_[i] = t.low ? -kInf : above(b[3]);
        restHigh_[i] = t.low ? below(b[0]) : kInf;
    }
}

// Most frames change nothing: every field stays in its state (mostly green)
// with no run under way. One pass of comparisons without a branch finds
// that, and the few fields that need more take their step after it. A NaN
// fails the comparisons and takes its step, which skips it.
LimitEvaluator::FieldMask LimitEvaluator::needsStep(FrameKind kind, const TelemetryRecord &record) const
{
    const bool t1 = kind == FrameKind::T1;
    const std::size_t begin = t1 ? 0 : kFirstT2Field, end = t1 ? kFirstT2Field : kFieldCount;
    bool still = true;
    for (std::size_t i = begin; i < end; ++i)
        still &= (record.Values[i] >= restLow_[i]) & (record.Values[i] <= restHigh_[i]);
    const FieldMask ofKind = t1 ? (FieldMask{1} << kFirstT2Field) - 1 : ~((FieldMask{1} << kFirstT2Field) - 1);
    FieldMask mask = restless_ & ofKind;
    if (still)
        return mask;
    for (std::size_t i = begin; i < end; ++i)
        mask |= FieldMask{!((record.Values[i] >= restLow_[i]) & (record.Values[i] <= restHigh_[i]))} << i;
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
    const bool side = t.low;
    t.low = yellow ? lowYellow : t.low;
    count(yellow, t.yellow, t.yellowRun, limits.persistence);
    count(red, t.red, t.redRun, limits.persistence);
    const LimitState now = t.red ? LimitState::Red : t.yellow ? LimitState::Yellow : LimitState::Green;
    const FieldMask bit = FieldMask{1} << field;
    restless_ = (t.yellowRun | t.redRun) != 0 ? restless_ | bit : restless_ & ~bit;
    if (now == t.state && t.low == side)
        return;
    if (now != t.state) {
        const LimitBound bound = crossedBound(limits, std::max(now, t.state), t.low);
        changes_[static_cast<std::size_t>(changeCount_++)] = {field, value, now, t.state, bound, limits.bound(bound)};
        t.state = now;
    }
    settle(field);
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
