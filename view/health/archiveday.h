// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"
#include "dayextremes.h"

namespace halcyra::health {

// The extremes of the archive's records received in the 24 hours up to
// `now`, frames of both kinds. Slow on a large archive or a far server: for a
// thread of its own. Throws ArchiveError as the archive does.
DayExtremes archiveDay(archive::Archive &archive, UtcMillis now);

} // namespace halcyra::health
