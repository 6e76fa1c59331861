// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "limitwatch.h"

#include "fields.h"
#include "limittext.h"
#include "statusline.h"

#include <filesystem>

namespace halcyra {

LimitWatch::LimitWatch(LimitMarks marks, StatusLine &status)
    : marks_(std::move(marks)), status_(status), evaluator_(limits_)
{}

void LimitWatch::load(const std::optional<std::string> &confLimits, const std::string &confFolder)
{
    std::optional<std::string> named = confLimits;
    if (named && !named->empty() && std::filesystem::path(*named).is_relative())
        named = (std::filesystem::path(confFolder) / *named).string();
    try {
        setLimits(loadLimits(named).limits);
        status_.clear(StatusLine::Source::Limits);
    } catch (const LimitsError &e) {
        // The window is of use without limits; the refusal says where the file is wrong.
        setLimits(Limits());
        status_.set(StatusLine::Source::Limits, QStringLiteral("No limits apply: ") + QString::fromStdString(e.what()));
    }
}

void LimitWatch::setLimits(const Limits &limits)
{
    limits_ = limits;
    evaluator_ = LimitEvaluator(limits_);
    active_ = limits_.anyActive();
    t1Fed_ = t2Fed_ = 0;
    marks_.setLimits(limits_);
}

void LimitWatch::setFollowing(bool following, const RecordStore &t1, const RecordStore &t2)
{
    following_ = following;
    if (following_)
        restart(t1, t2);
}

void LimitWatch::restart(const RecordStore &t1, const RecordStore &t2)
{
    evaluator_.reset();
    t1Fed_ = t2Fed_ = 0;
    feed(FrameKind::T1, t1, t1Fed_, false);
    feed(FrameKind::T2, t2, t2Fed_, false);
}

void LimitWatch::logChanged(Change change, const RecordStore &t1, const RecordStore &t2)
{
    if (!following_ || !active_)
        return;
    if (change == Change::Edit) {
        restart(t1, t2);
        return;
    }
    // A file written anew is a new text whose frames all arrived now. The
    // states reached before stay: a field still red when a receiver rewrites
    // its whole log does not alarm again.
    if (change == Change::Reloaded || t1.count < t1Fed_ || t2.count < t2Fed_)
        t1Fed_ = t2Fed_ = 0;
    // Each field belongs to one kind of frame, so that feeding the kinds one
    // after the other keeps every field's frames in their order of arrival.
    feed(FrameKind::T1, t1, t1Fed_, true);
    feed(FrameKind::T2, t2, t2Fed_, true);
}

void LimitWatch::feed(FrameKind kind, const RecordStore &store, int &fed, bool alarm)
{
    for (; fed < store.count; ++fed) {
        for (const LimitChange &c : evaluator_.feed(kind, store.records[static_cast<std::size_t>(fed + 1)])) {
            if (alarm && c.state == LimitState::Red)
                announce(c);
        }
    }
}

void LimitWatch::announce(const LimitChange &change)
{
    const QString what = QString::fromStdString(limitChangeText(change));
    status_.set(StatusLine::Source::Limits, QStringLiteral("Limit alarm: ") + what);
    const FieldInfo &f = FieldCatalogue[static_cast<std::size_t>(change.field)];
    notifier_.notify(
        QStringLiteral("%1 is red").arg(QString::fromLatin1(f.caption.data(), qsizetype(f.caption.size()))), what);
}

void LimitWatch::showRecord(int position, const RecordStore &t1, const RecordStore &t2)
{
    if (!active_)
        return;
    for (int i = 0; i < kFieldCount; ++i) {
        const bool isT1 = storeOf(i) == FrameKind::T1;
        const RecordStore &store = isT1 ? t1 : t2;
        LimitState state = LimitState::Green; // an empty box has no state
        if (position >= 1 && position <= store.count) {
            const bool newest = following_ && position == store.count && (isT1 ? t1Fed_ : t2Fed_) == store.count;
            state =
                newest
                    ? evaluator_.state(i)
                    : valueState(limits_.field(i),
                                 store.records[static_cast<std::size_t>(position)].Values[static_cast<std::size_t>(i)]);
        }
        marks_.show(i, state);
    }
}

} // namespace halcyra
