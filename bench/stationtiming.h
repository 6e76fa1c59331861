// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

// What the station's timing programs share: a clock, the archive's count of
// frames, and frames that no run wrote before.

#include "archive.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <string>

namespace halcyra::timing {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Frames of both kinds in the archive; 0 while it does not exist yet.
inline std::uint64_t archivedFrames(const std::string &location)
{
    try {
        auto store = archive::openArchiveToRead(location);
        return store->recordCount(FrameKind::T1) + store->recordCount(FrameKind::T2);
    } catch (const archive::ArchiveError &) {
        return 0;
    }
}

// A T1 frame's text that no other run wrote: the archive keeps each frame once.
inline std::string uniqueT1Frame(std::mt19937_64 &random)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string frame = "T1";
    for (int i = 0; i < 128; ++i)
        frame += digits[random() % 16];
    return frame;
}

} // namespace halcyra::timing
