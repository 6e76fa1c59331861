// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "limitwatch.h"

#include "fields.h"
#include "frame.h"
#include "limittext.h"
#include "lines.h"
#include "statusline.h"

#include <algorithm>
#include <filesystem>

namespace halcyra {

namespace {

std::optional<FrameKind> frameKind(LineFrame frame)
{
    switch (frame) {
    case LineFrame::T1:
        return FrameKind::T1;
    case LineFrame::T2:
        return FrameKind::T2;
    default:
        return std::nullopt;
    }
}

} // namespace

LimitWatch::LimitWatch(LimitMarks marks, StatusLine &status, const RecordStore &t1, const RecordStore &t2)
    : marks_(std::move(marks)), status_(status), t1_(t1), t2_(t2), evaluator_(limits_)
{}

void LimitWatch::load(const std::optional<std::string> &confLimits, const std::string &confFolder)
{
    try {
        setLimits(loadLimits(confLimits, confFolder).limits);
        refusal_.clear();
        status_.clear(StatusLine::Source::Limits);
    } catch (const LimitsError &e) {
        // The window is of use without limits; the refusal says where the file is wrong.
        setLimits(Limits());
        refusal_ = QStringLiteral("Limits not applied: ") + QString::fromLocal8Bit(e.what());
        status_.set(StatusLine::Source::Limits, refusal_);
    }
}

void LimitWatch::setLimits(const Limits &limits)
{
    limits_ = limits;
    evaluator_ = LimitEvaluator(limits_);
    active_ = limits_.anyActive();
    marks_.setLimits(limits_);
    if (following_)
        restart();
}

void LimitWatch::setFollowing(bool following)
{
    following_ = following;
    if (following_)
        restart();
}

void LimitWatch::restart()
{
    evaluator_.reset();
    fed_ = {};
    feedStored(FrameKind::T1, false);
    feedStored(FrameKind::T2, false);
    // Frames beyond the stores that the log held already arrived before
    // following began; only those that arrive from now on are evaluated.
    fed(FrameKind::T1).total = frames_.t1Frames;
    fed(FrameKind::T2).total = frames_.t2Frames;
}

void LimitWatch::logChanged(Change change, std::string_view text, const FrameCounts &frames)
{
    frames_ = frames;
    if (!following_ || !active_)
        return;
    const std::array<std::uint64_t, 2> totals{frames.t1Frames, frames.t2Frames};
    if (change == Change::Edit) {
        restart();
        return;
    }
    // A file written anew (rotated, truncated) is a new text whose frames all
    // arrived now. The states reached before stay: a field still red when a
    // receiver rewrites its whole log does not alarm again.
    if (change == Change::Reloaded) {
        fed_ = {};
    } else if (totals[0] < fed_[0].total || totals[1] < fed_[1].total) {
        // A line still being written that was a whole frame a moment ago and
        // is none now: what the text holds is all there is to go by.
        restart();
        return;
    }
    // Each field belongs to one kind of frame, so that feeding the kinds one
    // after the other keeps every field's frames in their order of arrival.
    std::array<std::uint64_t, 2> beyond{};
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        feedStored(kind, true);
        const auto k = static_cast<std::size_t>(kind);
        beyond[k] = totals[k] - std::min(totals[k], fed_[k].total);
        fed_[k].total = totals[k];
    }
    feedBeyond(text, beyond);
}

void LimitWatch::feedStored(FrameKind kind, bool alarm)
{
    const RecordStore &records = store(kind);
    Fed &f = fed(kind);
    for (; f.stored < records.count; ++f.stored)
        take(records.records[static_cast<std::size_t>(f.stored + 1)], kind, alarm);
    f.total = std::max(f.total, static_cast<std::uint64_t>(f.stored));
}

// The window keeps 1000 frames of a kind; a followed log that goes on beyond
// them must still raise its alarms. The frames wanted are the last `need` of
// their kind in the text: read back to the line where the earliest of them
// starts, then forward from there.
void LimitWatch::feedBeyond(std::string_view text, const std::array<std::uint64_t, 2> &need)
{
    if (need[0] == 0 && need[1] == 0)
        return;
    LineParser parser; // a line's frame does not depend on the lines before it
    std::array<std::uint64_t, 2> seen{};
    std::size_t start = text.size();
    while (start > 0 && (seen[0] < need[0] || seen[1] < need[1])) {
        const std::size_t cut = text.find_last_of("\r\n", start - 1);
        const std::size_t begin = cut == std::string_view::npos ? 0 : cut + 1;
        if (const std::optional<FrameKind> kind = frameKind(parser.parse(text.substr(begin, start - begin)).frame))
            ++seen[static_cast<std::size_t>(*kind)];
        start = cut == std::string_view::npos ? 0 : cut;
    }
    std::array<std::uint64_t, 2> skip{seen[0] - std::min(seen[0], need[0]), seen[1] - std::min(seen[1], need[1])};
    forEachLine(text.substr(start), [&](std::string_view line) {
        const LineOutcome out = parser.parse(line);
        const std::optional<FrameKind> kind = frameKind(out.frame);
        if (!kind)
            return;
        if (std::uint64_t &older = skip[static_cast<std::size_t>(*kind)]; older > 0) {
            --older;
            return;
        }
        TelemetryRecord record;
        if (*kind == FrameKind::T1)
            DecodeT1Frame(out.frameText, record);
        else
            DecodeT2Frame(out.frameText, record);
        take(record, *kind, true);
    });
}

void LimitWatch::take(const TelemetryRecord &record, FrameKind kind, bool alarm)
{
    for (const LimitChange &c : evaluator_.feed(kind, record)) {
        if (alarm && c.state == LimitState::Red)
            announce(c);
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

void LimitWatch::showRecord(int position)
{
    if (!active_)
        return;
    for (int i = 0; i < kFieldCount; ++i) {
        const FrameKind kind = storeOf(i);
        const RecordStore &records = store(kind);
        const Fed &f = fed_[static_cast<std::size_t>(kind)];
        LimitState state = LimitState::Green; // an empty box has no state
        if (position >= 1 && position <= records.count) {
            // The evaluator's state belongs to the newest frame, which is on
            // show only while the store holds every frame of its kind.
            const bool newest =
                following_ && position == records.count && f.total == static_cast<std::uint64_t>(records.count);
            const TelemetryRecord &record = records.records[static_cast<std::size_t>(position)];
            state =
                newest ? evaluator_.state(i) : valueState(limits_.field(i), record.Values[static_cast<std::size_t>(i)]);
        }
        marks_.show(i, state);
    }
}

} // namespace halcyra
