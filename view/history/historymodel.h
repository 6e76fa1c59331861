// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

// What the History window and `halcyra --plot` compute without a widget:
// which fields go on which axis, the lines of the archived values with their
// gaps, the ranges of the presets, the figures of the records on show, the
// read-out of a point and the CSV export.

#include "archive.h"
#include "fieldlimits.h"
#include "fields.h"
#include "receivetime.h"

#include <qcustomplot.h>

#include <QIODevice>
#include <QLocale>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra::history {

// Frames further apart than this belong to different passes: the line breaks
// between them, and "Last pass" starts after the last such gap.
inline constexpr UtcMillis kPassGap = 30 * 60 * 1000;

// ---- Fields

// The two time fields hold seconds since 1970 and plot as dates.
bool plotsAsDate(int field);
// The unit of the field's value axis: Ant deploy, which the grid shows as
// "deployed", plots as its voltage; the time fields as "UTC"; the counters
// have none.
QString plotUnit(int field);
// The caption, with its kind where both kinds have one of that name ("T2 Uptime").
QString fieldName(int field);
// The name with the unit in brackets, as the legend and the CSV header write it.
QString fieldLabel(int field);

// The value axis of each field, given in the order they were checked: 0 the
// left, 1 the right, -1 a third unit that gets no axis.
std::vector<int> assignAxes(const std::vector<int> &fields);

// A field named on the command line by its archive column ("batt1_volt"), in
// any letter case, optionally with its kind ("t2.uptime"); "uptime" alone is
// ambiguous and refused.
struct FieldLookup {
    int field = -1;
    std::string error; // why there is no field
};
FieldLookup lookUpField(std::string_view name);
// The name lookUpField reads back: the column, with the kind where both have it.
std::string columnName(int field);
// Every column name, as the help lists them.
std::string fieldNameList();

// ---- Tracks and lines

enum class XAxis : std::uint8_t { ReceiveTime, ArchiveOrder };

// One field of the archived records.
struct Track {
    int field = 0;
    // By receive time, records without one first, then in archive order: as
    // the archive hands them out.
    std::vector<archive::FieldSample> samples;
    std::int64_t lastId = 0; // the largest id among them
};
Track loadTrack(archive::Archive &store, int field, const archive::TimeRange &range = {});
// Records archived after the track was loaded, in any order; those the track
// holds already are skipped.
void addSamples(Track &track, std::vector<archive::FieldSample> newer);

// The x coordinate of a receive time: seconds since 1970, as the date axis counts.
inline double timeKey(UtcMillis t)
{
    return static_cast<double>(t) / 1000.0;
}

// What a track draws: one point per record, keyed by receive time (records
// without one are left out) or by the record's id in archive order. Where
// frames were received more than kPassGap apart a point with a NaN value
// breaks the line.
inline constexpr std::uint32_t kBreak = UINT32_MAX;
struct Line {
    QVector<QCPGraphData> points;
    std::vector<std::uint32_t> sample; // each point's index into the track's samples, kBreak for a break

    // The figures of each run of kBlock points: those of any range come
    // from a few thousand blocks instead of half a million points, at every
    // step of a zoom.
    static constexpr std::size_t kBlock = 256;
    struct Block {
        double min = 0;
        double max = 0;
        double sum = 0;
        std::size_t count = 0;
    };
    std::vector<Block> blocks;
};
Line lineOf(const Track &track, XAxis axis);

// ---- Ranges

enum class Preset : std::uint8_t { LastPass, Last24Hours, Last7Days, All, Custom };

// What a preset is called and what it shows: the Range box, the settings,
// `halcyra-historysnap` and presetSpan() all read this table.
struct PresetInfo {
    Preset preset;
    std::string_view name;    // in the settings and on command lines
    std::string_view caption; // in the Range box
    // The range reaches back from the newest frame, and so moves along as
    // frames arrive: `length` back, or to the start of the newest pass when
    // that is 0. Otherwise it holds every record ("All") or the span chosen
    // ("Custom").
    bool followsNewest;
    UtcMillis length;
};
inline constexpr UtcMillis kHour = 3'600'000;
inline constexpr std::array<PresetInfo, 5> kPresets{{
    {Preset::LastPass, "last-pass", "Last pass", true, 0},
    {Preset::Last24Hours, "last-24-hours", "Last 24 hours", true, 24 * kHour},
    {Preset::Last7Days, "last-7-days", "Last 7 days", true, 7 * 24 * kHour},
    {Preset::All, "all", "All", false, 0},
    {Preset::Custom, "custom", "Custom", false, 0},
}};
static_assert(
    [] {
        for (std::size_t i = 0; i < kPresets.size(); ++i)
            if (static_cast<std::size_t>(kPresets[i].preset) != i)
                return false;
        return true;
    }(),
    "kPresets is indexed by Preset");

inline const PresetInfo &presetInfo(Preset preset)
{
    return kPresets[static_cast<std::size_t>(preset)];
}
// The preset of that name; nothing for another name.
std::optional<Preset> presetNamed(std::string_view name);

// A range of x coordinates, both ends included.
struct Span {
    double lower = 0;
    double upper = 0;
    bool contains(double key) const { return key >= lower && key <= upper; }
};
struct TimeSpan {
    UtcMillis from = 0;
    UtcMillis to = 0;
};

// The x range a preset shows. "Last pass" is the newest run of frames
// without a gap of more than kPassGap, "Last 24 hours" and "Last 7 days" end
// at the newest frame, "All" holds every record, "Custom" is `custom`. By
// archive order the range holds the ids of the records received within the
// preset's time (all records for "All"). Nothing when no record falls in it.
// The ranges taken from the data get a margin, so that the outer points are
// not drawn on the axes.
std::optional<Span> presetSpan(Preset preset, std::span<const Track *const> tracks, XAxis axis,
                               const TimeSpan &custom = {});

// ---- Figures of the records on show

struct Stats {
    std::size_t count = 0;
    double min = 0;
    double max = 0;
    double mean = 0;
};
Stats statsOf(const Line &line, const Span &span);

// The points within `span` that lie beyond yellow, and beyond red, each by
// its own value: a plot shows every point as it was, whatever the
// persistence that a stream of frames is followed with.
struct LimitCounts {
    std::size_t yellow = 0;
    std::size_t red = 0;
};
LimitCounts limitCountsOf(const Line &line, const Span &span, const FieldLimits &limits);

// The value range of a line's points within `span`; nothing when none is.
std::optional<QCPRange> valueRange(const Line &line, const Span &span);

// The point nearest to (key, value), measured in pixels: `keyPixels` and
// `valuePixels` are pixels per unit of each axis. Only points within
// `radius` pixels count. Returns the point's index into line.points.
std::optional<int> nearestPoint(const Line &line, double key, double value, double keyPixels, double valuePixels,
                                double radius);

// ---- Texts

// A value as the read-out and the statistics write it: the number text of the
// locale to the decimals of the field's resolution and the unit, a date for
// the time fields. The CSV export keeps the full value.
QString valueText(int field, double value, const QLocale &locale);
// "2014-07-22 10:15:30.000 UTC"
QString utcText(UtcMillis t);

struct PointDetails {
    int field = 0;
    double value = 0;
    std::optional<UtcMillis> received;
    std::string frameTime;
    std::string station;
};
QString readOutText(const PointDetails &point, const QLocale &locale);

// The frame time text and station of one archived record, for the read-out.
PointDetails pointDetails(archive::Archive &store, int field, const archive::FieldSample &sample);

// ---- CSV export

// The records on show as RFC 4180 CSV: "," between fields, CR LF line ends,
// texts by the cell rule of every CSV file (csv.h: quoted where needed, never
// a formula), "." as the decimal point, times as ISO 8601
// UTC; a header of the captions with their units. One row per record, by
// receive time (by archive order: the T1 records, then the T2 records), with
// the cells of the other kind's fields empty. False when the device failed to
// take the text; an ArchiveError when the archive failed.
bool writeCsv(archive::Archive &store, const std::vector<int> &fields, XAxis axis, const Span &span, QIODevice &out);

} // namespace halcyra::history
