// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"
#include "receivetime.h"

#include <QSize>
#include <QString>

#include <optional>
#include <vector>

namespace halcyra::history {

// What `halcyra --plot` draws: fields by catalogue index, the archive, the
// receive times since (included) and until (excluded), the picture's size
// and file.
struct PlotRequest {
    std::vector<int> fields;
    QString archive;
    std::optional<UtcMillis> since;
    std::optional<UtcMillis> until;
    QSize size{1000, 500};
    QString output;
    Limits limits; // drawn as bands; none limited: no bands
};

inline constexpr int kLargestPicture = 10'000; // pixels either way

struct PlotOutcome {
    int status = 0; // 0 written, 1 failed
    QString message;
};

// Draws the plot the History window would show for the fields over the
// range (all their records without one) and writes it; needs a QApplication,
// which may run offscreen. Only when the picture was written is the status 0.
PlotOutcome renderPlot(const PlotRequest &request);

} // namespace halcyra::history
