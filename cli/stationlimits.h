// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "alarmcommand.h"
#include "fieldlimits.h"
#include "importer.h"
#include "stationconfig.h"

#include <array>
#include <optional>

namespace halcyra {

// The station's watch over limits, whatever its frames come from: each frame
// in arrival order through the evaluator, each change of state to the
// journal at its priority and to the --on-alarm program.
class StationLimits {
public:
    explicit StationLimits(const StationSettings &settings);

    // `tell`: the frame is news. Otherwise (a log read as it stood at start,
    // whose changes are history) only the state each field ends in is kept,
    // for tellHeld().
    void check(const archive::LoggedFrame &frame, bool tell);
    // The states held back that are not green, once each.
    void tellHeld();
    // Collects the alarms' programs that ended; says those that failed.
    void reap();

private:
    struct Held {
        LimitChange change;
        std::optional<UtcMillis> received;
        FrameTimeText frameTime;
    };
    void tellChange(const Held &held);

    bool active_;
    std::string station_;
    LimitEvaluator evaluator_;
    AlarmCommand alarm_;
    std::array<std::optional<Held>, kFieldCount> held_{};
    std::optional<UtcMillis> lastChecked_;
};

} // namespace halcyra
