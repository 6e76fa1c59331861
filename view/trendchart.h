// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"
#include "record.h"

#include <qcustomplot.h>

#include <QLocale>
#include <QString>
#include <QVector>

#include <array>

namespace halcyra {

// A row's label: its record's own frame time, hours and minutes of a UTC
// time stamp (characters 12-16), or the row number when it has none.
QString rowLabel(const FrameTimeText &frameTime, int row);

// Records between a tick and a label: chosen to fit up to 100 records, above
// that n / 20 rounded half to even (101 -> 5, 110 -> 6, 130 -> 6, 1000 -> 50).
int labelStep(int records);

// The tool tip of a bar: its record number, row label and value, the value in
// the locale's number text to the decimals of the field's resolution.
QString barReadout(int record, const FrameTimeText &frameTime, int field, double value, const QLocale &locale);

struct ChartData {
    int field = 0;
    QVector<double> keys;   // 1..n
    QVector<double> values; // the field's stored values, unchanged
    QVector<FrameTimeText> frameTimes;
    QVector<double> tickKeys;
    QVector<QString> tickLabels;
};

// One bar per record of the store that holds the field.
ChartData chartData(const RecordStore &store, int fieldIndex);

// The bar chart inside the chart frame.
class TrendChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit TrendChart(QWidget *parent = nullptr);

    // The limits of the field the next showData() plots; its bounds are
    // drawn as lines across the chart.
    void setLimits(const FieldLimits &limits);
    void showData(const ChartData &data);
    void clearData();

    // The line of `bound`; hidden when the field has no such bound.
    QCPItemStraightLine *limitLine(LimitBound bound) const { return limitLines_[static_cast<std::size_t>(bound)]; }

    QCPBars *bars() const { return bars_; }

    // The record whose bar stands at `pos` (widget pixels) inside the plot
    // area, or 0. A bar narrower than a few pixels is hit within 1.5 pixels
    // of its centre, so that each of 1000 bars can be pointed at.
    int barAt(const QPointF &pos) const;
    QString readout(int record) const;

protected:
    bool event(QEvent *event) override;

private:
    double hitHalfWidth(int record) const;
    void placeLimitLines();

    QCPBars *bars_;
    QVector<FrameTimeText> frameTimes_;
    int field_ = 0;
    QSharedPointer<QCPAxisTickerText> ticker_;
    FieldLimits limits_;
    std::array<QCPItemStraightLine *, 4> limitLines_{};
};

} // namespace halcyra
