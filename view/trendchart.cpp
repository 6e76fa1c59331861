// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "trendchart.h"

#include <QApplication>

#include <algorithm>

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
    const int n = store.count;
    const int step = labelStep(n);
    data.keys.reserve(n);
    data.values.reserve(n);
    data.tickKeys.reserve(n / step + 1);
    data.tickLabels.reserve(n / step + 1);
    for (int i = 1; i <= n; ++i) {
        const TelemetryRecord &rec = store.records[static_cast<std::size_t>(i)];
        data.keys.push_back(i);
        data.values.push_back(rec.Values[static_cast<std::size_t>(fieldIndex)]);
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
    clearData();
}

void TrendChart::showData(const ChartData &data)
{
    bars_->setData(data.keys, data.values, true);
    ticker_->setTicks(data.tickKeys, data.tickLabels);
    xAxis->setRange(0.5, data.keys.size() + 0.5);
    bars_->rescaleValueAxis(false, true);
    // A little room above and below, so the longest bar is not cut by the frame.
    const QCPRange r = yAxis->range();
    const double margin = r.size() > 0 ? r.size() * 0.05 : 1.0;
    yAxis->setRange(r.lower < 0 ? r.lower - margin : r.lower, r.upper > 0 ? r.upper + margin : r.upper + 0.0);
    replot(rpQueuedReplot);
}

void TrendChart::clearData()
{
    bars_->data()->clear();
    ticker_->clear();
    xAxis->setRange(0.5, 1.5);
    yAxis->setRange(0, 1);
    replot(rpQueuedReplot);
}

} // namespace halcyra
