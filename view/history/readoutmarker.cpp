// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "readoutmarker.h"

#include "historyfeed.h"
#include "historyplot.h"

#include <QCursor>
#include <QMouseEvent>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>

namespace halcyra::history {

namespace {

constexpr double kReadOutRadius = 12; // pixels
const QString kLayer = QStringLiteral("readout");

} // namespace

ReadOutMarker::ReadOutMarker(HistoryPlot *plot, HistoryReader *reader,
                             std::function<std::vector<const Track *>()> tracks)
    : QObject(plot), plot_(plot), reader_(reader), tracks_(std::move(tracks))
{
    plot_->addLayer(kLayer, plot_->layer(QStringLiteral("main")), QCustomPlot::limAbove);
    plot_->layer(kLayer)->setMode(QCPLayer::lmBuffered);
    tracer_ = new QCPItemTracer(plot_);
    tracer_->setLayer(kLayer);
    tracer_->setStyle(QCPItemTracer::tsCircle);
    tracer_->setSize(10);
    tracer_->setVisible(false);
    plot_->installEventFilter(this);
    connect(plot_, &QCustomPlot::mouseMove, this, &ReadOutMarker::mouseMoved);
}

QString ReadOutMarker::textAt(const QPoint &pos)
{
    const std::vector<const Track *> tracks = tracks_();
    const std::vector<PlotLine> &lines = plot_->lines();
    std::optional<std::pair<std::size_t, int>> best;
    double bestDistance = std::numeric_limits<double>::max();
    QCPAxis *x = plot_->xAxis;
    const double key = x->pixelToCoord(pos.x());
    const double keyPixels = plot_->axisRect()->width() / x->range().size();
    for (std::size_t i = 0; i < std::min(tracks.size(), lines.size()); ++i) {
        QCPAxis *y = plot_->graphOf(i)->valueAxis();
        const double valuePixels = plot_->axisRect()->height() / y->range().size();
        const std::optional<int> at =
            nearestPoint(*lines[i].line, key, y->pixelToCoord(pos.y()), keyPixels, valuePixels, kReadOutRadius);
        if (!at)
            continue;
        const QCPGraphData &p = lines[i].line->points[*at];
        const double d = std::hypot(x->coordToPixel(p.key) - pos.x(), y->coordToPixel(p.value) - pos.y());
        if (d < bestDistance) {
            bestDistance = d;
            best = {i, *at};
        }
    }
    if (!best) {
        point_.reset();
        tracer_->setVisible(false);
        return {};
    }
    const Line &line = *lines[best->first].line;
    const Track &track = *tracks[best->first];
    const archive::FieldSample &sample = track.samples[line.sample[static_cast<std::size_t>(best->second)]];
    const std::pair<int, std::int64_t> point{track.field, sample.id};
    if (point_ != point) {
        // The frame time and station follow once the archive tells them.
        text_ = readOutText({track.field, sample.value, sample.received, {}, {}}, QLocale());
        point_ = point;
        reader_->details(track.field, sample, [this, point](const PointDetails &details) {
            if (point_ != point)
                return;
            text_ = readOutText(details, QLocale());
            if (QToolTip::isVisible())
                QToolTip::showText(QCursor::pos(), text_, plot_);
        });
    }
    const QCPGraphData &p = line.points[best->second];
    tracer_->position->setAxes(plot_->xAxis, plot_->graphOf(best->first)->valueAxis());
    tracer_->position->setCoords(p.key, p.value);
    tracer_->setPen(QPen(lines[best->first].colour, 2));
    tracer_->setVisible(true);
    return text_;
}

void ReadOutMarker::hide()
{
    tracer_->setVisible(false);
}

void ReadOutMarker::forget()
{
    point_.reset();
}

bool ReadOutMarker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == plot_ && event->type() == QEvent::Leave && tracer_->visible()) {
        tracer_->setVisible(false);
        redraw();
    }
    return QObject::eventFilter(watched, event);
}

void ReadOutMarker::mouseMoved(QMouseEvent *event)
{
    if (event->buttons() != Qt::NoButton)
        return; // dragging
    const bool wasVisible = tracer_->visible();
    const QString text = textAt(event->pos());
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), text, plot_);
    if (wasVisible || tracer_->visible())
        redraw();
}

void ReadOutMarker::redraw()
{
    plot_->layer(kLayer)->replot();
}

} // namespace halcyra::history
