// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"
#include "options.h"
#include "tncaddress.h"

#include <cstdint>
#include <optional>
#include <string>

namespace halcyra {

// What the unattended station needs: which log, which archive, which name.
struct StationSettings {
    std::string log; // a file, or a TNC's address as given
    std::optional<TncAddress> tnc;
    std::string sourceCall = "QZ7ZQ"; // with a TNC: whose telemetry frames
    std::string packetLog;            // with a TNC: where received frames are appended; empty: nowhere
    std::string archive;              // a file or a server address, never empty
    std::string station;
    std::optional<std::int64_t> fallbackDay; // --date
    Limits limits;                           // none limited: no limits file
    std::optional<std::string> limitsPath;
    std::string onAlarm; // --on-alarm or ON_ALARM; empty: none
};

// The settings of --follow and --config together: the file's LOG, ARCHIVE,
// STATION, LIMITS, ON_ALARM, SOURCE and TNC_LOG, each replaced by its option
// when that is given; the limits file read whole. Returns the
// reason when the file cannot be read or holds anything else than those
// keys: a typing error in a file nobody watches must not go unnoticed.
std::optional<std::string> stationSettings(const DecodeOptions &options, StationSettings &settings);

} // namespace halcyra
