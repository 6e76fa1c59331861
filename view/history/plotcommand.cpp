// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "plotcommand.h"

#include "historymodel.h"
#include "historyplot.h"

#include <algorithm>

namespace halcyra::history {

namespace {

QString whenText(const PlotRequest &request)
{
    if (request.since && request.until)
        return QStringLiteral(" received from %1 until %2").arg(utcText(*request.since), utcText(*request.until));
    if (request.since)
        return QStringLiteral(" received since %1").arg(utcText(*request.since));
    if (request.until)
        return QStringLiteral(" received before %1").arg(utcText(*request.until));
    return QStringLiteral(" with a receive time");
}

} // namespace

PlotOutcome renderPlot(const PlotRequest &request)
{
    std::unique_ptr<archive::Archive> store;
    std::vector<Track> tracks;
    try {
        store = archive::openArchiveToRead(request.archive.toStdString());
        for (const int field : request.fields)
            tracks.push_back(loadTrack(*store, field, {request.since, request.until}));
    } catch (const archive::ArchiveError &e) {
        return {1, QString::fromStdString(e.what())};
    }

    std::vector<Line> lines;
    for (const Track &t : tracks)
        lines.push_back(lineOf(t, XAxis::ReceiveTime));
    if (std::all_of(lines.begin(), lines.end(), [](const Line &l) { return l.points.empty(); })) {
        QStringList names;
        for (const int field : request.fields)
            names << fieldName(field);
        return {1, QStringLiteral("%1: no records of %2%3")
                       .arg(QString::fromStdString(archive::displayLocation(request.archive.toStdString())),
                            names.join(QStringLiteral(", ")), whenText(request))};
    }

    HistoryPlot plot;
    plot.resize(request.size);
    std::vector<PlotLine> shown;
    const std::vector<int> axes = assignAxes(request.fields);
    for (std::size_t i = 0; i < tracks.size(); ++i)
        shown.push_back({tracks[i].field, std::max(axes[i], 0), lineColour(static_cast<int>(i)), &lines[i]});
    plot.setLines(shown);
    plot.setLimits(request.limits);

    std::vector<const Track *> all;
    for (const Track &t : tracks)
        all.push_back(&t);
    Span span = *presetSpan(Preset::All, all, XAxis::ReceiveTime);
    // A range asked for is shown whole, also where it holds no records.
    if (request.since)
        span.lower = timeKey(*request.since);
    if (request.until)
        span.upper = timeKey(*request.until);
    plot.setSpan(span);

    const QString error = savePlot(plot, request.output, request.size);
    if (!error.isEmpty())
        return {1, error};
    return {};
}

} // namespace halcyra::history
