// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "historymodel.h"

#include "limittext.h"

#include "csv.h"
#include "numtext.h"
#include "recordview.h"
#include "schema.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace halcyra::history {

namespace {

constexpr int kAntDeploy = 31;

const FieldInfo &info(int field)
{
    return FieldCatalogue[static_cast<std::size_t>(field)];
}

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Whether the other kind has a field of the same caption.
bool captionTwice(int field)
{
    const FrameKind kind = storeOf(field);
    return std::any_of(FieldCatalogue.begin(), FieldCatalogue.end(), [&](const FieldInfo &f) {
        return storeOf(f.index) != kind && f.caption == info(field).caption;
    });
}

bool byTime(const archive::FieldSample &a, const archive::FieldSample &b)
{
    return a.received != b.received ? a.received < b.received : a.id < b.id;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

// The first index of a track's samples that has a receive time.
std::size_t firstTimed(const Track &t)
{
    return static_cast<std::size_t>(
        std::find_if(t.samples.begin(), t.samples.end(), [](const auto &s) { return s.received.has_value(); }) -
        t.samples.begin());
}

// The start of the newest run of receive times, over all tracks, without a gap
// of more than kPassGap: a walk back through every track at once.
UtcMillis passStart(std::span<const Track *const> tracks, UtcMillis newest)
{
    std::vector<std::size_t> first(tracks.size());
    std::vector<std::size_t> at(tracks.size()); // the first sample at or after `start`
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        first[k] = firstTimed(*tracks[k]);
        at[k] = tracks[k]->samples.size();
    }
    UtcMillis start = newest;
    for (;;) {
        std::optional<UtcMillis> before;
        for (std::size_t k = 0; k < tracks.size(); ++k) {
            const auto &s = tracks[k]->samples;
            while (at[k] > first[k] && *s[at[k] - 1].received >= start)
                --at[k];
            if (at[k] > first[k])
                before = std::max(before.value_or(*s[at[k] - 1].received), *s[at[k] - 1].received);
        }
        if (!before || start - *before > kPassGap)
            return start;
        start = *before;
    }
}

Span withMargin(double lower, double upper, double least)
{
    const double margin = std::max((upper - lower) * 0.02, least);
    return {lower - margin, upper + margin};
}

void appendText(QByteArray &out, std::string_view text)
{
    std::string cell;
    appendCsvText(cell, text, ',');
    out.append(cell.data(), static_cast<qsizetype>(cell.size()));
}

void appendUtc(QByteArray &out, UtcMillis t)
{
    if (const std::optional<UtcText> text = formatUtc(t))
        out.append(text->data(), static_cast<qsizetype>(text->size()));
}

void appendValue(QByteArray &out, int field, double value)
{
    // Seconds since 1970 as the time they stand for, like received_utc; a
    // value that no four-digit year can write stays a number.
    if (plotsAsDate(field) && std::isfinite(value) && std::fabs(value) < 1e14) {
        if (const std::optional<UtcText> text = formatUtc(static_cast<UtcMillis>(std::llround(value * 1000)))) {
            out.append(text->data(), static_cast<qsizetype>(text->size()));
            return;
        }
    }
    char buffer[kNumberTextCapacity];
    out.append(buffer, static_cast<qsizetype>(formatGeneral(value, '.', buffer)));
}

void add(Line::Block &b, double value)
{
    if (std::isnan(value))
        return;
    b.min = b.count ? std::min(b.min, value) : value;
    b.max = b.count ? std::max(b.max, value) : value;
    b.sum += value;
    ++b.count;
}

void add(Line::Block &b, const Line::Block &other)
{
    if (!other.count)
        return;
    b.min = b.count ? std::min(b.min, other.min) : other.min;
    b.max = b.count ? std::max(b.max, other.max) : other.max;
    b.sum += other.sum;
    b.count += other.count;
}

void addBlocks(Line &line)
{
    const std::size_t n = static_cast<std::size_t>(line.points.size());
    line.blocks.assign((n + Line::kBlock - 1) / Line::kBlock, {});
    for (std::size_t i = 0; i < n; ++i)
        add(line.blocks[i / Line::kBlock], line.points[static_cast<qsizetype>(i)].value);
}

struct CsvRow {
    std::optional<UtcMillis> received;
    QByteArray text;
};

} // namespace

bool plotsAsDate(int field)
{
    return info(field).display == DisplayRule::DateTime;
}

QString plotUnit(int field)
{
    if (plotsAsDate(field))
        return QStringLiteral("UTC");
    if (field == kAntDeploy)
        return QStringLiteral("V");
    return latin1(info(field).unit);
}

QString fieldName(int field)
{
    const QString caption = latin1(info(field).caption);
    if (!captionTwice(field))
        return caption;
    return (storeOf(field) == FrameKind::T1 ? QStringLiteral("T1 ") : QStringLiteral("T2 ")) + caption;
}

QString fieldLabel(int field)
{
    const QString unit = plotUnit(field);
    return unit.isEmpty() ? fieldName(field) : fieldName(field) + QStringLiteral(" [") + unit + QLatin1Char(']');
}

std::vector<int> assignAxes(const std::vector<int> &fields)
{
    std::vector<QString> units;
    std::vector<int> axes;
    for (const int field : fields) {
        const QString unit = plotUnit(field);
        auto it = std::find(units.begin(), units.end(), unit);
        if (it == units.end() && units.size() < 2)
            it = units.insert(units.end(), unit);
        axes.push_back(it == units.end() ? -1 : static_cast<int>(it - units.begin()));
    }
    return axes;
}

FieldLookup lookUpField(std::string_view name)
{
    std::string column = lower(name);
    std::optional<FrameKind> kind;
    for (const FrameKind k : {FrameKind::T1, FrameKind::T2}) {
        const std::string prefix = k == FrameKind::T1 ? "t1." : "t2.";
        if (column.starts_with(prefix)) {
            kind = k;
            column.erase(0, prefix.size());
        }
    }
    std::vector<int> found;
    for (const FieldInfo &f : FieldCatalogue)
        if ((!kind || storeOf(f.index) == *kind) && archive::fieldColumn(f.caption) == column)
            found.push_back(f.index);
    if (found.size() == 1)
        return {found.front(), {}};
    const std::string quoted = "'" + std::string(name) + "'";
    if (found.empty())
        return {-1, "no field " + quoted + "; the fields are the archive's column names, such as batt1_volt"};
    return {-1, quoted + " is a field of T1 and of T2: write t1." + column + " or t2." + column};
}

std::string columnName(int field)
{
    const std::string column = archive::fieldColumn(info(field).caption);
    if (!captionTwice(field))
        return column;
    return (storeOf(field) == FrameKind::T1 ? "t1." : "t2.") + column;
}

std::string fieldNameList()
{
    std::string list;
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
        std::string line = kind == FrameKind::T1 ? "  t1_records: " : "  t2_records: ";
        const int end = kind == FrameKind::T1 ? kFirstT2Field : kFieldCount;
        for (int field = kind == FrameKind::T1 ? 0 : kFirstT2Field; field < end; ++field) {
            const std::string name = columnName(field) + (field + 1 < end ? "," : "");
            if (line.size() + 1 + name.size() > 79) {
                list += line + "\n";
                line = "              ";
            } else if (line.back() != ' ') {
                line += ' ';
            }
            line += name;
        }
        list += line + "\n";
    }
    return list;
}

Track loadTrack(archive::Archive &store, int field, const archive::TimeRange &range)
{
    Track track;
    track.field = field;
    track.samples = store.fieldSeries(field, range);
    for (const archive::FieldSample &s : track.samples)
        track.lastId = std::max(track.lastId, s.id);
    return track;
}

void addSamples(Track &track, std::vector<archive::FieldSample> newer)
{
    std::erase_if(newer, [&](const archive::FieldSample &s) { return s.id <= track.lastId; });
    if (newer.empty())
        return;
    std::sort(newer.begin(), newer.end(), byTime);
    for (const archive::FieldSample &s : newer)
        track.lastId = std::max(track.lastId, s.id);
    // New frames are usually the newest: then the merge finds them in order.
    // insert() hands back the first of the appended samples.
    const auto middle = track.samples.insert(track.samples.end(), newer.begin(), newer.end());
    std::inplace_merge(track.samples.begin(), middle, track.samples.end(), byTime);
}

Line lineOf(const Track &track, XAxis axis)
{
    Line line;
    const std::size_t n = track.samples.size();
    line.points.reserve(static_cast<qsizetype>(n + n / 16));
    line.sample.reserve(n + n / 16);
    if (axis == XAxis::ArchiveOrder) {
        std::vector<std::uint32_t> order(n);
        for (std::size_t i = 0; i < n; ++i)
            order[i] = static_cast<std::uint32_t>(i);
        std::sort(order.begin(), order.end(),
                  [&](std::uint32_t a, std::uint32_t b) { return track.samples[a].id < track.samples[b].id; });
        const archive::FieldSample *previous = nullptr;
        for (const std::uint32_t i : order) {
            const archive::FieldSample &s = track.samples[i];
            // Passes apart in time stay apart here too; a record without a
            // receive time joins its neighbours.
            if (previous && previous->received && s.received &&
                std::abs(*s.received - *previous->received) > kPassGap) {
                line.points.push_back({(static_cast<double>(previous->id) + static_cast<double>(s.id)) / 2,
                                       std::numeric_limits<double>::quiet_NaN()});
                line.sample.push_back(kBreak);
            }
            line.points.push_back({static_cast<double>(s.id), s.value});
            line.sample.push_back(i);
            previous = &s;
        }
        addBlocks(line);
        return line;
    }
    std::optional<UtcMillis> previous;
    for (std::size_t i = firstTimed(track); i < n; ++i) {
        const archive::FieldSample &s = track.samples[i];
        if (previous && *s.received - *previous > kPassGap) {
            line.points.push_back(
                {(timeKey(*previous) + timeKey(*s.received)) / 2, std::numeric_limits<double>::quiet_NaN()});
            line.sample.push_back(kBreak);
        }
        line.points.push_back({timeKey(*s.received), s.value});
        line.sample.push_back(static_cast<std::uint32_t>(i));
        previous = s.received;
    }
    addBlocks(line);
    return line;
}

std::optional<Preset> presetNamed(std::string_view name)
{
    for (const PresetInfo &p : kPresets)
        if (p.name == name)
            return p.preset;
    return std::nullopt;
}

namespace {

// The receive times a preset that follows the newest frame reaches over.
TimeSpan recentWindow(const PresetInfo &preset, std::span<const Track *const> tracks, UtcMillis newest)
{
    return {preset.length ? newest - preset.length : passStart(tracks, newest), newest};
}

// By archive order: the ids of the records received within the preset's time, all for "All".
std::optional<Span> idSpan(Preset preset, std::span<const Track *const> tracks, std::optional<UtcMillis> newest,
                           const TimeSpan &custom)
{
    const PresetInfo &info = presetInfo(preset);
    std::optional<TimeSpan> window;
    if (preset == Preset::Custom)
        window = custom;
    else if (info.followsNewest && newest)
        window = recentWindow(info, tracks, *newest);
    if (!window && preset != Preset::All)
        return std::nullopt;
    std::optional<Span> ids;
    for (const Track *t : tracks)
        for (const archive::FieldSample &s : t->samples) {
            if (window && !(s.received && *s.received >= window->from && *s.received <= window->to))
                continue;
            const auto id = static_cast<double>(s.id);
            ids = Span{std::min(ids ? ids->lower : id, id), std::max(ids ? ids->upper : id, id)};
        }
    if (!ids)
        return std::nullopt;
    return preset == Preset::Custom ? *ids : withMargin(ids->lower, ids->upper, 0.5);
}

} // namespace

std::optional<Span> presetSpan(Preset preset, std::span<const Track *const> tracks, XAxis axis, const TimeSpan &custom)
{
    std::optional<UtcMillis> oldest;
    std::optional<UtcMillis> newest;
    for (const Track *t : tracks) {
        const std::size_t first = firstTimed(*t);
        if (first == t->samples.size())
            continue;
        oldest = std::min(oldest.value_or(*t->samples[first].received), *t->samples[first].received);
        newest = std::max(newest.value_or(*t->samples.back().received), *t->samples.back().received);
    }
    if (axis == XAxis::ArchiveOrder)
        return idSpan(preset, tracks, newest, custom);
    if (preset == Preset::Custom)
        return Span{timeKey(custom.from), timeKey(custom.to)};
    if (!newest)
        return std::nullopt;
    const PresetInfo &info = presetInfo(preset);
    if (!info.followsNewest)
        return withMargin(timeKey(*oldest), timeKey(*newest), 60.0);
    const TimeSpan window = recentWindow(info, tracks, *newest);
    if (!info.length)
        return withMargin(timeKey(window.from), timeKey(window.to), 60.0);
    // A little room after the newest frame, so that it is not drawn on the axis.
    return Span{timeKey(window.from), timeKey(window.to) + static_cast<double>(info.length) / 1000 * 0.02};
}

Stats statsOf(const Line &line, const Span &span)
{
    const auto before = [](const QCPGraphData &p, double k) { return p.key < k; };
    const auto after = [](double k, const QCPGraphData &p) { return k < p.key; };
    const auto begin = line.points.begin();
    auto i = static_cast<std::size_t>(std::lower_bound(begin, line.points.end(), span.lower, before) - begin);
    const auto end = static_cast<std::size_t>(std::upper_bound(begin, line.points.end(), span.upper, after) - begin);
    Line::Block all;
    // Points up to a block's start, whole blocks, the points after the last one.
    for (; i < end && i % Line::kBlock != 0; ++i)
        add(all, line.points[static_cast<qsizetype>(i)].value);
    for (; i + Line::kBlock <= end; i += Line::kBlock)
        add(all, line.blocks[i / Line::kBlock]);
    for (; i < end; ++i)
        add(all, line.points[static_cast<qsizetype>(i)].value);
    Stats stats{all.count, all.min, all.max, 0};
    if (all.count)
        stats.mean = all.sum / static_cast<double>(all.count);
    return stats;
}

LimitCounts limitCountsOf(const Line &line, const Span &span, const FieldLimits &limits)
{
    LimitCounts counts;
    if (!limits.active())
        return counts;
    const auto before = [](const QCPGraphData &p, double k) { return p.key < k; };
    const auto from = std::lower_bound(line.points.begin(), line.points.end(), span.lower, before);
    for (auto p = from; p != line.points.end() && p->key <= span.upper; ++p) {
        const LimitState state = valueState(limits, p->value);
        counts.yellow += state == LimitState::Yellow;
        counts.red += state == LimitState::Red;
    }
    return counts;
}

std::optional<QCPRange> valueRange(const Line &line, const Span &span)
{
    const Stats stats = statsOf(line, span);
    if (!stats.count)
        return std::nullopt;
    return QCPRange(stats.min, stats.max);
}

std::optional<int> nearestPoint(const Line &line, double key, double value, double keyPixels, double valuePixels,
                                double radius)
{
    if (!(keyPixels > 0) || !(valuePixels > 0))
        return std::nullopt;
    const auto less = [](const QCPGraphData &p, double k) { return p.key < k; };
    const auto begin = std::lower_bound(line.points.begin(), line.points.end(), key - radius / keyPixels, less);
    const auto end = std::lower_bound(begin, line.points.end(), key + radius / keyPixels + 1e-9 / keyPixels, less);
    // A zoomed-out plot may hold many thousands of points under the pointer:
    // every n-th of them is close enough to pick from.
    const qsizetype step = std::max<qsizetype>(1, (end - begin) / 20'000);
    std::optional<int> best;
    double bestDistance = radius * radius;
    for (auto it = begin; it < end; it += std::min<qsizetype>(step, end - it)) {
        if (std::isnan(it->value))
            continue;
        const double dx = (it->key - key) * keyPixels;
        const double dy = (it->value - value) * valuePixels;
        const double d = dx * dx + dy * dy;
        if (d <= bestDistance) {
            bestDistance = d;
            best = static_cast<int>(it - line.points.begin());
        }
    }
    return best;
}

QString utcText(UtcMillis t)
{
    const std::optional<UtcText> text = formatUtc(t);
    if (!text)
        return QString::number(t) + QStringLiteral(" ms");
    QString s = QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size()));
    s[10] = QLatin1Char(' ');
    s.chop(1);
    return s + QStringLiteral(" UTC");
}

QString valueText(int field, double value, const QLocale &locale)
{
    if (plotsAsDate(field) && std::isfinite(value) && std::fabs(value) < 1e14) {
        if (formatUtc(static_cast<UtcMillis>(std::llround(value * 1000))))
            return utcText(static_cast<UtcMillis>(std::llround(value * 1000)));
    }
    const QString unit = plotUnit(field);
    const QString number = readingText(info(field), value, locale);
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

QString readOutText(const PointDetails &point, const QLocale &locale)
{
    QString text = fieldName(point.field) + QStringLiteral(": ") + valueText(point.field, point.value, locale);
    text +=
        point.received ? QStringLiteral("\nreceived ") + utcText(*point.received) : QStringLiteral("\nno receive time");
    text += point.frameTime.empty() ? QStringLiteral("\nno frame time")
                                    : QStringLiteral("\nframe time ") + QString::fromStdString(point.frameTime);
    text += point.station.empty() ? QStringLiteral("\nstation not given")
                                  : QStringLiteral("\nstation ") + QString::fromStdString(point.station);
    return text;
}

PointDetails pointDetails(archive::Archive &store, int field, const archive::FieldSample &sample)
{
    PointDetails point{field, sample.value, sample.received, {}, {}};
    store.forEachRecordById(storeOf(field), sample.id, sample.id, [&](const archive::StoredRecord &r) {
        point.frameTime = std::string(r.record.FrameTime.view());
        point.station = std::string(r.station);
        return false;
    });
    return point;
}

bool writeCsv(archive::Archive &store, const std::vector<int> &fields, XAxis axis, const Span &span, QIODevice &out)
{
    QByteArray text = "received_utc,kind,frame_time,station";
    for (const int field : fields) {
        text += ',';
        appendText(text, fieldLabel(field).toUtf8().toStdString());
    }
    text += "\r\n";

    bool ok = true;
    const auto flush = [&](bool always) {
        if (ok && (always || text.size() >= (1 << 20))) {
            ok = out.write(text) == text.size();
            text.clear();
        }
    };
    const auto row = [&](const archive::StoredRecord &r, FrameKind kind) {
        QByteArray line;
        if (r.received)
            appendUtc(line, *r.received);
        line += kind == FrameKind::T1 ? ",T1," : ",T2,";
        appendText(line, r.record.FrameTime.view());
        line += ',';
        appendText(line, r.station);
        for (const int field : fields) {
            line += ',';
            if (storeOf(field) == kind)
                appendValue(line, field, r.record.Values[static_cast<std::size_t>(field)]);
        }
        return line + "\r\n";
    };

    std::vector<FrameKind> kinds;
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2})
        if (std::any_of(fields.begin(), fields.end(), [&](int f) { return storeOf(f) == kind; }))
            kinds.push_back(kind);

    if (axis == XAxis::ArchiveOrder) {
        const auto first = static_cast<std::int64_t>(std::ceil(span.lower));
        const auto last = static_cast<std::int64_t>(std::floor(span.upper));
        for (const FrameKind kind : kinds)
            store.forEachRecordById(kind, first, last, [&](const archive::StoredRecord &r) {
                text += row(r, kind);
                flush(false);
                return ok;
            });
        flush(true);
        return ok;
    }

    // One millisecond more on each side, then the same test as the plot's.
    const archive::TimeRange range{static_cast<UtcMillis>(std::floor(span.lower * 1000)) - 1,
                                   static_cast<UtcMillis>(std::ceil(span.upper * 1000)) + 2};
    const auto shown = [&](const archive::StoredRecord &r) {
        return r.received && span.contains(timeKey(*r.received));
    };
    // The rows of a second kind wait in memory for their turn among the first kind's.
    std::vector<CsvRow> waiting;
    if (kinds.size() == 2)
        store.forEachRecord(kinds[1], range, [&](const archive::StoredRecord &r) {
            if (shown(r))
                waiting.push_back({r.received, row(r, kinds[1])});
            return true;
        });
    std::size_t next = 0;
    if (!kinds.empty())
        store.forEachRecord(kinds[0], range, [&](const archive::StoredRecord &r) {
            if (!shown(r))
                return true;
            for (; next < waiting.size() && waiting[next].received <= r.received; ++next)
                text += waiting[next].text;
            text += row(r, kinds[0]);
            flush(false);
            return ok;
        });
    for (; next < waiting.size(); ++next)
        text += waiting[next].text;
    flush(true);
    return ok;
}

} // namespace halcyra::history
