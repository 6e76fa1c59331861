// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "historymodel.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCPItemTracer;
class QMouseEvent;

namespace halcyra::history {

class HistoryPlot;
class HistoryReader;

// The mark on the point under the pointer and its read-out in a tooltip: the
// value and receive time at once, the frame time and station once the
// archive tells them. The mark has a layer of its own, so that following the
// pointer redraws the mark alone, not every line.
class ReadOutMarker : public QObject {
    Q_OBJECT
public:
    // `tracks` gives the records behind each of the plot's lines, in the
    // plot's order; `reader` is asked for the details of a point.
    ReadOutMarker(HistoryPlot *plot, HistoryReader *reader, std::function<std::vector<const Track *>()> tracks);

    // Marks the point nearest to `pos` (in the plot's pixels) and returns its
    // read-out; with no point near, an empty text and no mark.
    QString textAt(const QPoint &pos);
    // Hides the mark until the pointer moves again.
    void hide();
    // The next read-out asks the archive again, as its records changed.
    void forget();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void mouseMoved(QMouseEvent *event);
    void redraw();

    HistoryPlot *plot_;
    HistoryReader *reader_;
    std::function<std::vector<const Track *>()> tracks_;
    QCPItemTracer *tracer_;
    std::optional<std::pair<int, std::int64_t>> point_; // the field and record id read out
    QString text_;
};

} // namespace halcyra::history
