// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"
#include "archivewriter.h"
#include "receivetime.h"

#include <cstdint>
#include <optional>
#include <string>

namespace halcyra {

// The station's account of a pass: the frames archived since the last
// pause, told in one line when the next pause begins. A pass ends when no
// frame came for kPassGapMs.
class PassReport {
public:
    static constexpr std::int64_t kPassGapMs = 10 * 60 * 1000;

    void add(const WrittenBatch &batch, std::int64_t nowMs);
    bool empty() const { return frames() == 0; }

    // When the pass under way ends, if no frame comes before.
    std::optional<std::int64_t> endsAt() const;
    // The line for the pass, and a fresh start; `title` begins the line
    // ("pass", "log as it stood at start").
    std::string take(const std::string &title);

private:
    std::uint64_t frames() const;

    archive::AddCounts counts_;
    std::optional<UtcMillis> first_;
    std::optional<UtcMillis> last_;
    std::optional<std::int64_t> lastArrival_;
};

} // namespace halcyra
