// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "desktopnotifier.h"
#include "fieldlimits.h"
#include "limitmarks.h"
#include "record.h"

#include <optional>
#include <string>

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
    LimitWatch(LimitMarks marks, StatusLine &status);

    // Loads the limits conf.ini's LIMITS names, or the file found instead; a
    // relative LIMITS starts from `confFolder`. A refused file applies no
    // limits and is reported in the status line.
    void load(const std::optional<std::string> &confLimits, const std::string &confFolder);
    // Limits made by the caller, as a file would bring them.
    void setLimits(const Limits &limits);
    const FieldLimits &field(int index) const { return limits_.field(index); }

    // What made the log box change: the user's edit (or a log opened), or
    // the followed file, appended to or written anew.
    enum class Change { Edit, Appended, Reloaded };
    // After every re-parse. While following, the frames the followed file
    // brought are fed to the evaluator and each field that went red is
    // announced; an edit starts the evaluation again from the log as it now
    // is, without announcing anything.
    void logChanged(Change change, const RecordStore &t1, const RecordStore &t2);
    // Starting to follow evaluates the frames the log holds now, silently:
    // only frames that arrive while followed raise an alarm.
    void setFollowing(bool following, const RecordStore &t1, const RecordStore &t2);

    // Marks the boxes of the records at `position`.
    void showRecord(int position, const RecordStore &t1, const RecordStore &t2);

    const LimitMarks &marks() const { return marks_; }

private:
    void restart(const RecordStore &t1, const RecordStore &t2);
    void feed(FrameKind kind, const RecordStore &store, int &fed, bool announce);
    void announce(const LimitChange &change);

    LimitMarks marks_;
    StatusLine &status_;
    DesktopNotifier notifier_;
    Limits limits_;
    LimitEvaluator evaluator_;
    bool active_ = false; // any field limited
    bool following_ = false;
    // Records of each store the evaluator has seen; the stores grow at the
    // end while followed.
    int t1Fed_ = 0;
    int t2Fed_ = 0;
};

} // namespace halcyra
