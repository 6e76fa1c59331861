// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "options.h"

namespace halcyra {

// halcyra-decode --follow / --config: the unattended station. Follows the
// log and archives every frame in it, until SIGTERM, SIGINT or SIGHUP.
// Returns the exit status: 0 when ended by a signal, 1 when the log or the
// archive cannot be used, 2 for a station configuration in error.
int runStation(const DecodeOptions &options);

} // namespace halcyra
