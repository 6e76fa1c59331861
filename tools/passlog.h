// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstdint>
#include <string>

namespace halcyra::loggen {

// A station's log over days: a few passes of 6 to 12 minutes a day, in a
// morning and an evening group, a frame every 10 seconds or so, each after a
// UTC line. The battery charges in sunlight and discharges in eclipse, ageing
// a little over the weeks; the signal is strongest at the middle of a pass.
struct PassOptions {
    int days = 1;
    std::uint32_t seed = 1;
};

std::string generatePassLog(const PassOptions &options);

} // namespace halcyra::loggen
