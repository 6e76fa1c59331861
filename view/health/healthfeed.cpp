// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "healthfeed.h"

namespace halcyra::health {

HealthFeed::HealthFeed(HealthModel &model) : model_(model) {}

void HealthFeed::restart(std::optional<UtcMillis> following)
{
    model_.clearFrames();
    archive::ImportOptions options;
    if (following)
        options.now = [this] { return now_.value_or(0); };
    reader_ = std::make_unique<archive::FrameReader>(options);
    read_ = 0;
    followingRead_ = following.has_value();
}

void HealthFeed::take(const archive::LoggedFrame &logged, ChangedRows &changed)
{
    const archive::ArchiveFrame frame = archive::decodeFrame(logged);
    std::optional<UtcMillis> received = logged.received;
    if (!received && fresh_)
        received = now_;
    changed |= model_.feed(frame.kind, frame.record, received);
}

ChangedRows HealthFeed::update(std::string_view text, std::size_t changedFrom, std::optional<UtcMillis> following)
{
    ChangedRows changed;
    // Following begun or ended changes how stamps are dated: read again.
    const bool whole =
        !read_ || changedFrom < *read_ || text.size() < *read_ || following.has_value() != followingRead_;
    if (whole) {
        restart(following);
        changed = ChangedRows::all();
    }
    now_ = following;
    fresh_ = following && !whole;
    reader_->feed(text.substr(*read_), [&](const archive::LoggedFrame &f) { take(f, changed); });
    read_ = text.size();
    // A receiver that ends a line only when it begins the next leaves the
    // newest frame on an open line; it counts now, and again, to no effect
    // on any extreme, once its line ends.
    if (following)
        reader_->peekUnfinished([&](const archive::LoggedFrame &f) { take(f, changed); });
    return changed;
}

} // namespace halcyra::health
