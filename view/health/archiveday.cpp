// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archiveday.h"

namespace halcyra::health {

DayExtremes archiveDay(archive::Archive &archive, UtcMillis now)
{
    DayExtremes day;
    day.advance(now);
    // From the start of the day's first minute; a receive time ahead of the
    // clock still counts, as it would for a frame the window receives.
    const archive::TimeRange range{now - kMillisPerDay - DayExtremes::kMinuteMs, std::nullopt};
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2})
        archive.forEachRecord(kind, range, [&](const archive::StoredRecord &r) {
            if (r.received)
                day.add(kind, r.record, *r.received);
            return true;
        });
    return day;
}

} // namespace halcyra::health
