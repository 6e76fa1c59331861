// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "desktopnotifier.h"
#include "fieldlimits.h"
#include "limitmarks.h"
#include "parser.h"
#include "record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

class StatusLine;

// The window's limits: which apply, the state each value box shows, and the
// alarm when a followed field goes red.
//
// A followed log's frames go through a LimitEvaluator in the order they
// arrive, so that persistence applies: the newest record of a kind shows the
// evaluator's states. Any other record, and every record of a log that is
// not followed, shows its values' own states.
class LimitWatch {
public:
    // The stores are the window's, refilled at every change of the log.
    LimitWatch(LimitMarks marks, StatusLine &status, const RecordStore &t1, const RecordStore &t2);

    // Loads the limits conf.ini's LIMITS names, or the file found instead; a
    // relative LIMITS starts from `confFolder`. A refused file applies no
    // limits and is reported in the status line.
    void load(const std::optional<std::string> &confLimits, const std::string &confFolder);
    // Limits made by the caller, as a file would bring them.
    void setLimits(const Limits &limits);
    const Limits &limits() const { return limits_; }
    // Why the limits file was refused; empty when it was not.
    const QString &refusal() const { return refusal_; }
    const FieldLimits &field(int index) const { return limits_.field(index); }

    // What made the log box change: the user's edit (or a log opened), or
    // the followed file, appended to or written anew.
    enum class Change { Edit, Appended, Reloaded };
    // After every re-parse of `text`, which holds `frames`. While following,
    // the frames the followed file brought are fed to the evaluator, also
    // those beyond what the stores keep, and each field that went red is
    // announced; an edit starts the evaluation again from the log as it now
    // is, without announcing anything.
    void logChanged(Change change, std::string_view text, const FrameCounts &frames);
    // Starting to follow evaluates the frames the stores hold now, silently:
    // only frames that arrive while followed raise an alarm.
    void setFollowing(bool following);

    // Marks the boxes of the records at `position`.
    void showRecord(int position);

private:
    // How far the evaluator has come through the frames of one kind.
    struct Fed {
        int stored = 0;          // records of the store
        std::uint64_t total = 0; // frames of the log, those beyond the store too
    };

    void restart();
    void feedStored(FrameKind kind, bool alarm);
    void feedBeyond(std::string_view text, const std::array<std::uint64_t, 2> &newer);
    void take(const TelemetryRecord &record, FrameKind kind, bool alarm);
    void announce(const LimitChange &change);
    const RecordStore &store(FrameKind kind) const { return kind == FrameKind::T1 ? t1_ : t2_; }
    Fed &fed(FrameKind kind) { return fed_[static_cast<std::size_t>(kind)]; }

    LimitMarks marks_;
    StatusLine &status_;
    const RecordStore &t1_;
    const RecordStore &t2_;
    DesktopNotifier notifier_;
    Limits limits_;
    QString refusal_;
    LimitEvaluator evaluator_;
    bool active_ = false; // any field limited
    bool following_ = false;
    FrameCounts frames_; // of the last re-parse
    std::array<Fed, 2> fed_{};
};

} // namespace halcyra
