// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"

#include <optional>
#include <string>

namespace halcyra {

// A value's own state, persistence aside: where one reading lies against its
// field's bounds. What a plotted point or the newest value of a field shows;
// a stream of frames is followed by LimitEvaluator instead. NaN, no reading,
// is green; so is every value of a field that is disabled.
LimitState valueState(const FieldLimits &limits, double value);

// The name a field goes by in a limits file and in messages about its limits:
// its archive column, with "t1." or "t2." where both kinds have the column.
std::string limitsFieldName(int field);

// The bounds of a field in words, for a caption's tool tip or a report:
// "red below 6, yellow below 6.6, yellow above 8.35, red above 8.45; 3 frames
// in a row". "no limits" for a field without bounds, "limits off" for one
// disabled.
std::string limitsText(const FieldLimits &limits);

// One change of state in words: "batt1_volt 5.98 red, below red_low 6", and
// on the way back "batt1_volt 6.7 green, back above yellow_low 6.6".
std::string limitChangeText(const LimitChange &change);

// The limits that apply, found as limitsFilePath says from a configuration
// file's LIMITS and the environment, with the file they came from; no file,
// no limits. A relative LIMITS is beside the configuration, in
// `configFolder`, wherever the program was started from. Throws LimitsError
// for a file that is refused.
struct LoadedLimits {
    Limits limits;
    std::optional<std::string> path;
};
LoadedLimits loadLimits(const std::optional<std::string> &confLimits, const std::string &configFolder = {});

} // namespace halcyra
