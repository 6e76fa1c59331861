// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "limittext.h"

#include "columns.h"
#include "fields.h"
#include "numtext.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace halcyra {

LimitState valueState(const FieldLimits &limits, double value)
{
    if (!limits.enabled || std::isnan(value))
        return LimitState::Green;
    if (value < limits.bound(LimitBound::RedLow) || value > limits.bound(LimitBound::RedHigh))
        return LimitState::Red;
    if (value < limits.bound(LimitBound::YellowLow) || value > limits.bound(LimitBound::YellowHigh))
        return LimitState::Yellow;
    return LimitState::Green;
}

std::string limitsFieldName(int field)
{
    std::string column = fieldColumn(FieldCatalogue[static_cast<std::size_t>(field)].caption);
    if (fieldsNamed(column).size() > 1)
        return (storeOf(field) == FrameKind::T1 ? "t1." : "t2.") + column;
    return column;
}

std::string limitsText(const FieldLimits &limits)
{
    static constexpr const char *kWords[] = {"red below ", "yellow below ", "yellow above ", "red above "};
    std::string text;
    for (std::size_t b = 0; b < limits.bounds.size(); ++b) {
        if (!limits.has(static_cast<LimitBound>(b)))
            continue;
        text += (text.empty() ? "" : ", ") + std::string(kWords[b]) + generalText(limits.bounds[b]);
    }
    if (text.empty())
        return "no limits";
    if (!limits.enabled)
        return "limits off (" + text + ")";
    if (limits.persistence > 1)
        text += "; " + std::to_string(limits.persistence) + " frames in a row";
    return text;
}

std::string limitChangeText(const LimitChange &change)
{
    const bool low = change.bound == LimitBound::RedLow || change.bound == LimitBound::YellowLow;
    const bool worse = change.state > change.previous;
    std::string text = limitsFieldName(change.field) + " " + generalText(change.value) + " " +
                       std::string(limitStateName(change.state)) + ", ";
    if (!worse)
        text += "back ";
    text += (low == worse) ? "below " : "above ";
    return text + std::string(limitBoundName(change.bound)) + " " + generalText(change.limit);
}

LoadedLimits loadLimits(const std::optional<std::string> &confLimits, const std::string &configFolder)
{
    std::optional<std::string> named = confLimits;
    if (named && !named->empty() && !configFolder.empty() && std::filesystem::path(*named).is_relative())
        named = (std::filesystem::path(configFolder) / *named).lexically_normal().string();
    LoadedLimits loaded;
    loaded.path = limitsFilePath(named, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (loaded.path)
        loaded.limits = Limits::fromFile(*loaded.path);
    return loaded;
}

} // namespace halcyra
