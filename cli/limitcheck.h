// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"
#include "options.h"

#include <string>

namespace halcyra {

// Exit statuses of --check-limits beside 0, 1 and 2: the worst state any
// field reached. Each is worse than a log that could not be read, so a cron
// job never misses an alarm in the logs that could be.
inline constexpr int kReachedYellow = 3;
inline constexpr int kReachedRed = 4;

// halcyra-decode --check-limits: follows every limited field through the
// frames of the logs, or of the archive's records by receive time, and writes
// one line per change of state to standard output. Returns the exit status.
int checkLimits(const DecodeOptions &options, bool inputClosed, bool outputClosed);

// The limits --check-limits names: its FILE, else the file the user's or the
// system's configuration holds. Throws LimitsError.
Limits limitsOfOption(const DecodeOptions::ArchiveChoice &choice);

} // namespace halcyra
