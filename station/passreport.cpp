// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "passreport.h"

#include <algorithm>

namespace halcyra {

void PassReport::add(const WrittenBatch &batch, std::int64_t nowMs)
{
    counts_ += batch.counts;
    for (const archive::LoggedFrame &frame : batch.frames) {
        if (!frame.received)
            continue;
        first_ = first_ ? std::min(*first_, *frame.received) : *frame.received;
        last_ = last_ ? std::max(*last_, *frame.received) : *frame.received;
    }
    if (!batch.frames.empty())
        lastArrival_ = nowMs;
}

std::uint64_t PassReport::frames() const
{
    return counts_.t1.added + counts_.t1.present + counts_.t2.added + counts_.t2.present;
}

std::optional<std::int64_t> PassReport::endsAt() const
{
    if (!lastArrival_ || empty())
        return std::nullopt;
    return *lastArrival_ + kPassGapMs;
}

std::string PassReport::take(const std::string &title)
{
    std::string line = title + ": ";
    if (first_ && last_)
        line += "received " + formatUtcString(*first_) + " to " + formatUtcString(*last_) + "; ";
    else
        line += "no receive times; ";
    const auto kind = [](const char *name, const archive::KindCounts &c) {
        return std::string(name) + " frames " + std::to_string(c.added) + " new, " + std::to_string(c.present) +
               " already archived";
    };
    line += kind("T1", counts_.t1) + "; " + kind("T2", counts_.t2);
    *this = PassReport();
    return line;
}

} // namespace halcyra
