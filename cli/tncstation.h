// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "stationconfig.h"

namespace halcyra {

class ServiceManager;

// The unattended station on a TNC (settings.tnc): archives the satellite's
// telemetry frames as they arrive, each with the station's clock as its
// receive time, until SIGTERM, SIGINT or SIGHUP; with a packet log, appends
// every frame to it. Returns the exit status: 0 when ended by a signal, 1
// when the archive or the packet log cannot be used. Throws what the
// archive cannot recover from (archive::ArchiveError) and std::system_error.
int runTncStation(const StationSettings &settings, ServiceManager &service);

} // namespace halcyra
