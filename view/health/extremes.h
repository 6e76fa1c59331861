// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <algorithm>
#include <limits>

namespace halcyra::health {

// The smallest and the largest value of a run of readings; empty until the
// first. NaN is no reading and leaves it as it is.
struct Extremes {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    bool empty() const { return min > max; }
    // Whether the extremes changed.
    bool add(double value)
    {
        // Written so that NaN fails both comparisons.
        const bool lower = value<min, higher = value> max;
        if (lower)
            min = value;
        if (higher)
            max = value;
        return lower || higher;
    }
    void add(const Extremes &other)
    {
        min = std::min(min, other.min);
        max = std::max(max, other.max);
    }
    friend bool operator==(const Extremes &, const Extremes &) = default;
};

} // namespace halcyra::health
