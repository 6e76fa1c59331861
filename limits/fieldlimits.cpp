// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "fieldlimits.h"

#include "fields.h"

#include <algorithm>
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
    // T1 fields come first in the catalogue, so one pass keeps them first here.
    for (int i = 0; i < kFieldCount; ++i) {
        if (i == kFirstT2Field)
            firstT2_ = count_;
        if (limits.field(i).active())
            watched_[static_cast<std::size_t>(count_++)] = {limits.field(i), static_cast<std::uint8_t>(i)};
    }
}

void LimitEvaluator::reset()
{
    tracks_.fill({});
    changeCount_ = 0;
}

std::span<const LimitChange> LimitEvaluator::feed(FrameKind kind, const TelemetryRecord &record)
{
    changeCount_ = 0;
    const int begin = kind == FrameKind::T1 ? 0 : firstT2_;
    const int end = kind == FrameKind::T1 ? firstT2_ : count_;
    for (int i = begin; i < end; ++i) {
        const Watched &w = watched_[static_cast<std::size_t>(i)];
        step(w, record.Values[w.field]);
    }
    return {changes_.data(), static_cast<std::size_t>(changeCount_)};
}

namespace {

// One level (yellow or red): `beyond` frames in a row against the confirmed
// `in` until `persistence` of them turn it.
inline void count(bool beyond, bool &in, std::uint32_t &run, std::uint32_t persistence)
{
    if (beyond == in) {
        run = 0;
    } else if (++run >= persistence) {
        in = beyond;
        run = 0;
    }
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

void LimitEvaluator::step(const Watched &w, double value)
{
    if (std::isnan(value))
        return;
    const auto &b = w.limits.bounds;
    const bool lowRed = value < b[0];
    const bool red = lowRed || value > b[3];
    const bool lowYellow = lowRed || value < b[1];
    const bool yellow = red || lowYellow || value > b[2];
    Track &t = tracks_[w.field];
    if (yellow)
        t.low = lowYellow;
    count(yellow, t.yellow, t.yellowRun, w.limits.persistence);
    count(red, t.red, t.redRun, w.limits.persistence);
    const LimitState now = t.red ? LimitState::Red : t.yellow ? LimitState::Yellow : LimitState::Green;
    if (now == t.state)
        return;
    const LimitBound bound = crossedBound(w.limits, std::max(now, t.state), t.low);
    changes_[static_cast<std::size_t>(changeCount_++)] = {w.field, value, now, t.state, bound, w.limits.bound(bound)};
    t.state = now;
}

} // namespace halcyra
