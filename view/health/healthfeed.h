// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "healthmodel.h"
#include "importer.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace halcyra::health {

// The log box's frames for a HealthModel, each once: the text after a change
// is read only from where the text read before ends, as long as the change
// left that part alone (a followed file's new lines); any other change reads
// the whole text again. Frames and receive times come by the rules the
// archive reads a log with, so that both tell the same times.
class HealthFeed {
public:
    explicit HealthFeed(HealthModel &model);

    // The whole text after a change that began at `changedFrom`. `following`:
    // the log is followed, and the text arrived at that instant; it dates
    // clock-only stamps, and new frames without any stamp were received then.
    ChangedRows update(std::string_view text, std::size_t changedFrom, std::optional<UtcMillis> following);
    // The text will be read whole at the next update.
    void forget() { read_ = std::nullopt; }

private:
    void restart(std::optional<UtcMillis> following);
    void take(const archive::LoggedFrame &logged, ChangedRows &changed);

    HealthModel &model_;
    std::unique_ptr<archive::FrameReader> reader_;
    std::optional<std::size_t> read_; // bytes of the text read; nothing: read none yet
    std::optional<UtcMillis> now_;    // while following, when the text being read arrived
    bool fresh_ = false;              // the text being read arrived just now, not all at once
    bool followingRead_ = false;      // the text read so far was read while following
};

} // namespace halcyra::health
