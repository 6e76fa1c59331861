// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "stationlimits.h"

#include "journal.h"
#include "limittext.h"
#include "numtext.h"

namespace halcyra {

StationLimits::StationLimits(const StationSettings &settings)
    : active_(settings.limits.anyActive()), station_(settings.station), evaluator_(settings.limits),
      alarm_(settings.onAlarm)
{}

// A log rewritten with what it held before would count its frames again
// towards persistence: frames older than the last one checked are passed by.
void StationLimits::check(const archive::LoggedFrame &frame, bool tell)
{
    if (!active_ || (frame.received && lastChecked_ && *frame.received < *lastChecked_))
        return;
    if (frame.received)
        lastChecked_ = frame.received;
    const archive::ArchiveFrame decoded = archive::decodeFrame(frame);
    for (const LimitChange &change : evaluator_.feed(decoded.kind, decoded.record)) {
        const Held held{change, decoded.received, decoded.record.FrameTime};
        if (tell)
            tellChange(held);
        else
            held_[static_cast<std::size_t>(change.field)] = held;
    }
}

void StationLimits::tellHeld()
{
    for (std::optional<Held> &held : held_) {
        if (held && held->change.state != LimitState::Green)
            tellChange(*held);
        held.reset();
    }
}

void StationLimits::tellChange(const Held &held)
{
    const LimitChange &change = held.change;
    const std::string received = held.received ? formatUtcString(*held.received) : std::string();
    const journal::Priority priority = change.state == LimitState::Red      ? journal::Priority::Critical
                                       : change.state == LimitState::Yellow ? journal::Priority::Warning
                                                                            : journal::Priority::Notice;
    journal::write(priority,
                   "limit: " + limitChangeText(change) + (received.empty() ? std::string() : ", received " + received));
    if (alarm_.empty())
        return;
    const AlarmCommand::Variables variables{{"HALCYRA_FIELD", limitsFieldName(change.field)},
                                            {"HALCYRA_VALUE", generalText(change.value)},
                                            {"HALCYRA_STATE", std::string(limitStateName(change.state))},
                                            {"HALCYRA_PREVIOUS_STATE", std::string(limitStateName(change.previous))},
                                            {"HALCYRA_BOUND", std::string(limitBoundName(change.bound))},
                                            {"HALCYRA_LIMIT", generalText(change.limit)},
                                            {"HALCYRA_RECEIVED", received},
                                            {"HALCYRA_FRAME_TIME", held.frameTime.str()},
                                            {"HALCYRA_STATION", station_},
                                            {"HALCYRA_MESSAGE", limitChangeText(change)}};
    if (const std::optional<std::string> error = alarm_.run(variables))
        journal::write(journal::Priority::Error, "--on-alarm " + alarm_.program() + " not run: " + *error);
}

void StationLimits::reap()
{
    alarm_.reap([this](const std::string &how) {
        journal::write(journal::Priority::Warning, "--on-alarm " + alarm_.program() + " failed: " + how);
    });
}

} // namespace halcyra
