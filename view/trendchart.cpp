// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "trendchart.h"

#include "recordview.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace halcyra {

QString rowLabel(const FrameTimeText &frameTime, int row)
{
    const std::string_view t = frameTime.view();
    if (t.empty())
        return QString::number(row);
    if (t.size() == 5)
        return QString::fromLatin1(t.data(), 5);
    if (t.size() < 12)
        return {};
    const std::string_view hhmm = t.substr(11, 5);
    return QString::fromLatin1(hhmm.data(), static_cast<qsizetype>(hhmm.size()));
}

QString barReadout(int record, const FrameTimeText &frameTime, int field, double value, const QLocale &locale)
{
    const QString number = QString::number(record);
    const QString label = rowLabel(frameTime, record);
    // A record without a time is labelled with its number already.
    const QString head = label.isEmpty() || label == number ? QStringLiteral("Record %1").arg(number)
                                                            : QStringLiteral("Record %1 (%2)").arg(number, label);
    return head + QStringLiteral(": ") + readingText(FieldCatalogue[static_cast<std::size_t>(field)], value, locale);
}

int labelStep(int records)
{
    if (records <= 100)
        return std::max(1, (records + 19) / 20);
    const int q = records / 20;
    const int r = records % 20;
    return (2 * r > 20 || (2 * r == 20 && q % 2 == 1)) ? q + 1 : q;
}

ChartData chartData(const RecordStore &store, int fieldIndex)
{
    ChartData data;
    data.field = fieldIndex;
    const int n = store.count;
    const int step = labelStep(n);
    data.keys.reserve(n);
    data.values.reserve(n);
    data.frameTimes.reserve(n);
    data.tickKeys.reserve(n / step + 1);
    data.tickLabels.reserve(n / step + 1);
    for (int i = 1; i <= n; ++i) {
        const TelemetryRecord &rec = store.records[static_cast<std::size_t>(i)];
        data.keys.push_back(i);
        data.values.push_back(rec.Values[static_cast<std::size_t>(fieldIndex)]);
        data.frameTimes.push_back(rec.FrameTime);
        if ((i - 1) % step == 0) {
            data.tickKeys.push_back(i);
            data.tickLabels.push_back(rowLabel(rec.FrameTime, i));
        }
    }
    return data;
}

TrendChart::TrendChart(QWidget *parent)
    : QCustomPlot(parent), bars_(new QCPBars(xAxis, yAxis)), ticker_(new QCPAxisTickerText)
{
    // An outline per bar multiplies the painting cost at 1000 bars.
    bars_->setPen(Qt::NoPen);
    bars_->setBrush(QColor(40, 90, 160));
    bars_->setWidth(0.8);
    bars_->setAntialiased(false);
    bars_->setAntialiasedFill(false);
    ticker_->setSubTickCount(0);
    xAxis->setTicker(ticker_);
    // Vertical labels keep twenty "hh:mm" texts apart on the chart's width.
    QFont small = QApplication::font();
    small.setBold(false);
    small.setPointSizeF(7);
    xAxis->setTickLabelFont(small);
    xAxis->setTickLabelRotation(-90);
    yAxis->setTickLabelFont(small);
    xAxis->grid()->setVisible(false);
    setNoAntialiasingOnDrag(true);
    // Red solid, yellow dashed: the two differ without their colours too.
    for (std::size_t b = 0; b < limitLines_.size(); ++b) {
        const bool red = b == 0 || b == 3;
        QPen pen(red ? QColor(200, 0, 0) : QColor(205, 110, 0), red ? 2 : 1.5, red ? Qt::SolidLine : Qt::DashLine);
        limitLines_[b] = new QCPItemStraightLine(this);
        limitLines_[b]->setPen(pen);
        limitLines_[b]->setVisible(false);
    }
    clearData();
}

void TrendChart::setLimits(const FieldLimits &limits)
{
    limits_ = limits;
}

void TrendChart::placeLimitLines()
{
    for (std::size_t b = 0; b < limitLines_.size(); ++b) {
        const bool shown = limits_.enabled && limits_.has(static_cast<LimitBound>(b));
        limitLines_[b]->setVisible(shown);
        if (!shown)
            continue;
        limitLines_[b]->point1->setCoords(0, limits_.bounds[b]);
        limitLines_[b]->point2->setCoords(1, limits_.bounds[b]);
        // Where the bars stand against their limits is the point of the
        // lines: the value axis takes them in.
        QCPRange r = yAxis->range();
        r.expand(limits_.bounds[b]);
        yAxis->setRange(r);
    }
}

void TrendChart::showData(const ChartData &data)
{
    bars_->setData(data.keys, data.values, true);
    frameTimes_ = data.frameTimes;
    field_ = data.field;
    ticker_->setTicks(data.tickKeys, data.tickLabels);
    xAxis->setRange(0.5, data.keys.size() + 0.5);
    bars_->rescaleValueAxis(false, true);
    placeLimitLines();
    // A little room above and below, so the longest bar is not cut by the frame.
    const QCPRange r = yAxis->range();
    const double margin = r.size() > 0 ? r.size() * 0.05 : 1.0;
    yAxis->setRange(r.lower < 0 ? r.lower - margin : r.lower, r.upper > 0 ? r.upper + margin : r.upper + 0.0);
    replot(rpQueuedReplot);
}

void TrendChart::clearData()
{
    bars_->data()->clear();
    frameTimes_.clear();
    ticker_->clear();
    xAxis->setRange(0.5, 1.5);
    yAxis->setRange(0, 1);
    for (QCPItemStraightLine *line : limitLines_)
        line->setVisible(false);
    replot(rpQueuedReplot);
}

int TrendChart::barAt(const QPointF &pos) const
{
    const int n = bars_->data()->size();
    const QRect plot = axisRect()->rect();
    if (n < 1 || pos.y() < plot.top() || pos.y() > plot.bottom())
        return 0;
    // The keys are 1..n and the axis runs from 0.5 to n + 0.5: the nearest
    // key is the only candidate.
    const double key = xAxis->pixelToCoord(pos.x());
    if (!(key >= 0.5 && key < n + 0.5))
        return 0;
    const int record = static_cast<int>(std::lround(key));
    return std::abs(pos.x() - xAxis->coordToPixel(record)) <= hitHalfWidth(record) ? record : 0;
}

double TrendChart::hitHalfWidth(int record) const
{
    const double centre = xAxis->coordToPixel(record);
    return std::max(std::abs(xAxis->coordToPixel(record + bars_->width() / 2) - centre), 1.5);
}

QString TrendChart::readout(int record) const
{
    if (record < 1 || record > bars_->data()->size())
        return {};
    const double value = bars_->data()->at(record - 1)->value;
    const FrameTimeText time = record <= frameTimes_.size() ? frameTimes_[record - 1] : FrameTimeText();
    return barReadout(record, time, field_, value, QLocale::system());
}

bool TrendChart::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip)
        return QCustomPlot::event(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const int record = barAt(help->pos());
    if (record == 0) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    // The tip stays while the pointer stays on the bar's column; the next bar
    // gets a tip of its own.
    const double centre = xAxis->coordToPixel(record);
    const double halfWidth = hitHalfWidth(record);
    const QRect plot = axisRect()->rect();
    const QRect column(static_cast<int>(std::floor(centre - halfWidth)), plot.top(),
                       static_cast<int>(std::ceil(2 * halfWidth)) + 1, plot.height());
    QToolTip::showText(help->globalPos(), readout(record), this, column);
    return true;
}

} // namespace halcyra
