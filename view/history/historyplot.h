// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"
#include "historymodel.h"

#include <qcustomplot.h>

#include <QColor>
#include <QSize>
#include <QString>

#include <vector>

namespace halcyra::history {

// A colour for each of up to ten fields on show, told apart also by people
// who confuse red and green.
QColor lineColour(int slot);

// One field's line on the plot.
struct PlotLine {
    int field = 0;
    int axis = 0; // 0 left, 1 right
    QColor colour;
    const Line *line = nullptr; // outlives the plot's use of it
};

// The plot of the History window and of `halcyra --plot`: lines with points,
// a legend, receive time in UTC (or archive order) along the bottom, one unit
// on each side.
class HistoryPlot : public QCustomPlot {
    Q_OBJECT
public:
    explicit HistoryPlot(QWidget *parent = nullptr);

    void setXAxis(XAxis axis);
    XAxis xAxisMode() const { return xAxisMode_; }

    // Replaces the lines; the graphs share the points of each Line.
    void setLines(const std::vector<PlotLine> &lines);
    // A line whose points changed, at its place in the last setLines.
    void refreshLine(std::size_t index, const Line &line);
    const std::vector<PlotLine> &lines() const { return lines_; }

    // Shows `span` along the x axis, the values fitted to it.
    void setSpan(const Span &span);
    Span span() const;
    // Scales each value axis to the values of the records on show, not from zero.
    void fitValues();
    // Cleared by setSpan and fitValues; set once the user moved a value axis.
    bool valuesMovedByUser() const { return valuesMoved_; }

    // The graph of line `index`, for the window's read-out.
    QCPGraph *graphOf(std::size_t index) const;

    // A note in the plot's middle when there is nothing to show; empty hides it.
    void setNote(const QString &text);

    // Draws the yellow and red bands of each plotted field that has limits,
    // and marks its points beyond them: red with diamonds, yellow with
    // triangles, so that the shape tells them apart without the colour.
    void setLimits(const Limits &limits);
    // The marks of out-of-limit points: each line's yellow and red graphs, for tests.
    int limitMarkCount() const;

private:
    void updateLimits();
    void valueRangeChanged();
    // Points where they stand apart; a line alone where they would pile up.
    void updatePoints();

    XAxis xAxisMode_ = XAxis::ReceiveTime;
    std::vector<PlotLine> lines_;
    QCPItemText *note_;
    Limits limits_;
    std::vector<QCPAbstractItem *> bands_;
    std::vector<QCPGraph *> marks_;
    bool fitting_ = false;
    bool valuesMoved_ = false;
};

// Writes the plot at `size` as PNG, PDF or SVG, by the file name's suffix.
// The file appears whole or not at all, and keeps the permissions of one it
// replaces. Returns why it could not be written, or an empty text.
QString savePlot(HistoryPlot &plot, const QString &path, QSize size);

// Whether savePlot writes files of this name's suffix.
bool isPlotFileName(const QString &path);

} // namespace halcyra::history
