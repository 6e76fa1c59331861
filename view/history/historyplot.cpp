// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "historyplot.h"

#include "limittext.h"
#include "outputfile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string_view>
#include <tuple>

namespace halcyra::history {

namespace {

// Dates and times in UTC, as precise as the ticks are apart: days, minutes,
// seconds or milliseconds. The date stands under the first tick's time and
// under each tick that starts a new day.
class UtcTicker : public QCPAxisTickerDateTime {
public:
    UtcTicker()
    {
        setDateTimeSpec(Qt::UTC);
        setTimeZone(QTimeZone::utc());
        setTickCount(6);
    }

protected:
    double getTickStep(const QCPRange &range) override
    {
        step_ = QCPAxisTickerDateTime::getTickStep(range);
        // Steps of whole minutes, hours or days as clocks divide them (not
        // 2.5 minutes, whose ticks "HH:mm" would name wrongly); days and
        // months stay as the date ticker counts them.
        static constexpr std::array<double, 29> kSteps = {
            0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1,  0.2,  0.5,  1,    2,     5,     10,    15,   20,
            30,    60,    120,   300,  600,  900,  1200, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
        if (step_ < 86400)
            step_ = *std::lower_bound(kSteps.begin(), kSteps.end(), step_ * (1 - 1e-9));
        return step_;
    }

    QVector<QString> createLabelVector(const QVector<double> &ticks, const QLocale &, QChar, int) override
    {
        QVector<QString> labels;
        labels.reserve(ticks.size());
        const bool days = step_ >= 86400 - 1;
        const QString time = step_ >= 60  ? QStringLiteral("HH:mm")
                             : step_ >= 1 ? QStringLiteral("HH:mm:ss")
                                          : QStringLiteral("HH:mm:ss.zzz");
        QDate previous;
        for (const double tick : ticks) {
            const QDateTime t = QDateTime::fromMSecsSinceEpoch(std::llround(tick * 1000), Qt::UTC);
            if (days) {
                labels.push_back(t.toString(QStringLiteral("yyyy-MM-dd")));
                continue;
            }
            QString label = t.toString(time);
            if (t.date() != previous)
                label += QLatin1Char('\n') + t.toString(QStringLiteral("yyyy-MM-dd"));
            previous = t.date();
            labels.push_back(label);
        }
        return labels;
    }

private:
    double step_ = 1;
};

QString axisLabel(int field)
{
    const QString unit = plotUnit(field);
    return unit.isEmpty() ? QStringLiteral("count") : unit;
}

QCPRange padded(QCPRange range)
{
    if (range.size() == 0) {
        const double half = range.lower == 0 ? 1.0 : std::fabs(range.lower) * 0.01;
        return {range.lower - half, range.upper + half};
    }
    const double margin = range.size() * 0.05;
    return {range.lower - margin, range.upper + margin};
}

// The part of a line inside the rectangle of `keys` by `values`, cut where
// it crosses an edge, with a break wherever it is outside: Qt's SVG writer
// leaves out the clipping that keeps a line inside the axes on screen and in
// PDF. Both axes are linear, so cutting in values is cutting in pixels.
QVector<QCPGraphData> clipLine(const QVector<QCPGraphData> &points, const QCPRange &keys, const QCPRange &values)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVector<QCPGraphData> out;
    const auto inside = [&](const QCPGraphData &p) { return keys.contains(p.key) && values.contains(p.value); };
    const auto breakLine = [&] {
        if (!out.isEmpty() && !std::isnan(out.back().value))
            out.push_back({out.back().key, nan});
    };
    const auto gap = [](const QCPGraphData &p) { return std::isnan(p.value); };
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QCPGraphData &p = points[i];
        if (gap(p)) {
            breakLine();
            continue;
        }
        const bool alone = (i == 0 || gap(points[i - 1])) && (i + 1 == points.size() || gap(points[i + 1]));
        if (alone && inside(p)) {
            out.push_back(p);
            breakLine();
        }
        if (i + 1 == points.size() || gap(points[i + 1]))
            continue;
        // Liang and Barsky: the part 0 <= t0 <= t <= t1 <= 1 of p + t (q - p) inside.
        const QCPGraphData &q = points[i + 1];
        const double dx = q.key - p.key;
        const double dy = q.value - p.value;
        double t0 = 0;
        double t1 = 1;
        bool visible = true;
        const auto edge = [&](double d, double room) {
            if (d == 0)
                return room >= 0;
            const double t = room / d;
            if (d < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            return t0 <= t1;
        };
        visible = edge(-dx, p.key - keys.lower) && edge(dx, keys.upper - p.key) && edge(-dy, p.value - values.lower) &&
                  edge(dy, values.upper - p.value);
        if (!visible) {
            breakLine();
            continue;
        }
        const QCPGraphData from{p.key + t0 * dx, p.value + t0 * dy};
        const QCPGraphData to{p.key + t1 * dx, p.value + t1 * dy};
        if (out.isEmpty() || std::isnan(out.back().value) || out.back().key != from.key ||
            out.back().value != from.value) {
            breakLine();
            out.push_back(from);
        }
        out.push_back(to);
        if (t1 < 1)
            breakLine();
    }
    return out;
}

// Draws `plot` with each line cut to its axes, and its points inside them
// drawn on their own, as the SVG writer needs; restores the plot after.
void drawClipped(HistoryPlot &plot, QCPPainter &painter, QSize size)
{
    std::vector<QSharedPointer<QCPGraphDataContainer>> kept;
    std::vector<QCPScatterStyle> styles;
    std::vector<QCPGraph *> points;
    const int graphs = plot.graphCount();
    for (int i = 0; i < graphs; ++i) {
        QCPGraph *g = plot.graph(i);
        kept.push_back(g->data());
        styles.push_back(g->scatterStyle());
        QVector<QCPGraphData> original;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            original.push_back(*it);
        const QCPRange keys = g->keyAxis()->range();
        const QCPRange values = g->valueAxis()->range();
        auto clipped = QSharedPointer<QCPGraphDataContainer>::create();
        clipped->set(clipLine(original, keys, values), true);
        g->setData(clipped);
        if (g->scatterStyle().isNone())
            continue;
        QCPGraph *dots = plot.addGraph(g->keyAxis(), g->valueAxis());
        dots->removeFromLegend();
        dots->setLineStyle(QCPGraph::lsNone);
        dots->setScatterStyle(g->scatterStyle());
        QVector<QCPGraphData> inside;
        for (const QCPGraphData &p : original)
            if (keys.contains(p.key) && values.contains(p.value))
                inside.push_back(p);
        dots->data()->set(inside, true);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        points.push_back(dots);
    }
    plot.toPainter(&painter, size.width(), size.height());
    for (QCPGraph *dots : points)
        plot.removeGraph(dots);
    for (int i = 0; i < graphs; ++i) {
        plot.graph(i)->setData(kept[static_cast<std::size_t>(i)]);
        plot.graph(i)->setScatterStyle(styles[static_cast<std::size_t>(i)]);
    }
}

} // namespace

QColor lineColour(int slot)
{
    // Ten colours that stay apart for the common colour vision deficiencies.
    static constexpr std::array<QRgb, 10> kColours = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7, 0xE69F00,
                                                      0x56B4E9, 0x000000, 0x882255, 0x999933, 0x6E6E6E};
    return QColor(kColours[static_cast<std::size_t>(slot) % kColours.size()]);
}

HistoryPlot::HistoryPlot(QWidget *parent) : QCustomPlot(parent), note_(new QCPItemText(this))
{
    setObjectName(QStringLiteral("historyPlot"));
    setAccessibleName(QStringLiteral("History plot"));
    setLocale(QLocale());
    // The legend stands in a row of its own above the axes, where it covers no point.
    legend->setVisible(false);
    axisRect()->insetLayout()->take(legend);
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, legend);
    plotLayout()->setRowStretchFactor(0, 0.001);
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setWrap(4);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setMargins(QMargins(0, 4, 0, 0));
    xAxis->grid()->setSubGridVisible(false);
    yAxis2->setTickLabels(true);
    note_->setPositionAlignment(Qt::AlignCenter);
    note_->position->setType(QCPItemPosition::ptAxisRectRatio);
    note_->position->setCoords(0.5, 0.5);
    note_->setClipToAxisRect(false);
    note_->setVisible(false);
    connect(xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, &HistoryPlot::updatePoints);
    connect(yAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, &HistoryPlot::valueRangeChanged);
    connect(yAxis2, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this, &HistoryPlot::valueRangeChanged);
    setXAxis(XAxis::ReceiveTime);
}

void HistoryPlot::setXAxis(XAxis axis)
{
    xAxisMode_ = axis;
    if (axis == XAxis::ReceiveTime) {
        xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new UtcTicker));
        xAxis->setLabel(QStringLiteral("received (UTC)"));
    } else {
        QSharedPointer<QCPAxisTicker> ticker(new QCPAxisTicker);
        ticker->setTickStepStrategy(QCPAxisTicker::tssReadability);
        xAxis->setTicker(ticker);
        xAxis->setLabel(QStringLiteral("record number, in the order of archiving"));
    }
}

void HistoryPlot::setLines(const std::vector<PlotLine> &lines)
{
    clearGraphs();
    lines_ = lines;
    std::array<int, 2> firstField = {-1, -1};
    for (const PlotLine &l : lines_) {
        QCPAxis *value = l.axis == 0 ? yAxis : yAxis2;
        QCPGraph *graph = addGraph(xAxis, value);
        graph->setName(fieldLabel(l.field));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setAdaptiveSampling(true);
        graph->data()->set(l.line->points, true);
        if (firstField[static_cast<std::size_t>(l.axis)] < 0)
            firstField[static_cast<std::size_t>(l.axis)] = l.field;
    }
    for (std::size_t a = 0; a < 2; ++a) {
        QCPAxis *value = a == 0 ? yAxis : yAxis2;
        const int field = firstField[a];
        value->setVisible(a == 0 || field >= 0);
        value->setLabel(field >= 0 ? axisLabel(field) : QString());
        if (field >= 0 && plotsAsDate(field))
            value->setTicker(QSharedPointer<QCPAxisTicker>(new UtcTicker));
        else
            value->setTicker(QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
    }
    legend->setVisible(!lines_.empty());
    marks_.clear(); // went with the graphs
    updateLimits();
    updatePoints();
}

void HistoryPlot::updatePoints()
{
    const Span shown = span();
    const int pixels = std::max(axisRect()->width() > 1 ? axisRect()->width() : width(), 1);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const QVector<QCPGraphData> &points = lines_[i].line->points;
        const auto less = [](const QCPGraphData &p, double k) { return p.key < k; };
        const auto from = std::lower_bound(points.begin(), points.end(), shown.lower, less);
        const auto to = std::lower_bound(from, points.end(), shown.upper, less);
        // Thousands of discs cost seconds to draw and show nothing a line
        // does not; so does a wide pen, which the painter strokes as outlines
        // along the zigzag of a dense line.
        const bool apart = (to - from) * 4 <= pixels;
        QCPGraph *g = graph(static_cast<int>(i));
        g->setPen(QPen(lines_[i].colour, apart ? 1.5 : 1));
        g->setScatterStyle(apart ? QCPScatterStyle(QCPScatterStyle::ssDisc, lines_[i].colour, 5)
                                 : QCPScatterStyle(QCPScatterStyle::ssNone));
    }
}

void HistoryPlot::refreshLine(std::size_t index, const Line &line)
{
    if (index >= lines_.size())
        return;
    lines_[index].line = &line;
    graph(static_cast<int>(index))->data()->set(line.points, true);
    updateLimits();
    updatePoints();
}

void HistoryPlot::setLimits(const Limits &limits)
{
    limits_ = limits;
    updateLimits();
}

int HistoryPlot::limitMarkCount() const
{
    int count = 0;
    for (const QCPGraph *g : marks_)
        count += g->dataCount();
    return count;
}

namespace {

const QColor kRed(200, 0, 0);
const QColor kYellow(220, 150, 0);

// A band from `from` to `to` on the value axis, each a value or, where the
// field has no bound beyond, the edge of the axes: across the whole width.
QCPItemRect *addBand(QCustomPlot *plot, QCPAxis *valueAxis, double from, double to, const QColor &colour)
{
    auto *band = new QCPItemRect(plot);
    band->setLayer(QStringLiteral("grid"));
    band->setPen(Qt::NoPen);
    QColor fill = colour;
    fill.setAlpha(40);
    band->setBrush(fill);
    for (auto [position, value, x] : {std::tuple{band->topLeft, to, 0.0}, std::tuple{band->bottomRight, from, 1.0}}) {
        position->setAxes(plot->xAxis, valueAxis);
        position->setAxisRect(plot->axisRect());
        position->setTypeX(QCPItemPosition::ptAxisRectRatio);
        if (std::isinf(value)) {
            position->setTypeY(QCPItemPosition::ptAxisRectRatio);
            value = value > 0 ? -0.01 : 1.01; // ratio 0 is the top
        } else
            position->setTypeY(QCPItemPosition::ptPlotCoords);
        position->setCoords(x, value);
    }
    return band;
}

QCPGraph *addMarks(QCustomPlot *plot, QCPAxis *valueAxis, QCPScatterStyle::ScatterShape shape, const QColor &colour)
{
    QCPGraph *marks = plot->addGraph(plot->xAxis, valueAxis);
    marks->removeFromLegend();
    marks->setLineStyle(QCPGraph::lsNone);
    marks->setScatterStyle(QCPScatterStyle(shape, colour.darker(130), colour, 9));
    marks->setSelectable(QCP::stNone);
    return marks;
}

} // namespace

void HistoryPlot::updateLimits()
{
    for (QCPAbstractItem *band : bands_)
        removeItem(band);
    bands_.clear();
    for (QCPGraph *g : marks_)
        removeGraph(g);
    marks_.clear();
    for (const PlotLine &l : lines_) {
        const FieldLimits &limits = limits_.field(l.field);
        if (!limits.active())
            continue;
        QCPAxis *value = l.axis == 0 ? yAxis : yAxis2;
        const auto b = [&](LimitBound bound) { return limits.bound(bound); };
        if (b(LimitBound::RedLow) > -FieldLimits::kNone)
            bands_.push_back(addBand(this, value, -FieldLimits::kNone, b(LimitBound::RedLow), kRed));
        if (b(LimitBound::YellowLow) > b(LimitBound::RedLow))
            bands_.push_back(addBand(this, value, b(LimitBound::RedLow), b(LimitBound::YellowLow), kYellow));
        if (b(LimitBound::YellowHigh) < b(LimitBound::RedHigh))
            bands_.push_back(addBand(this, value, b(LimitBound::YellowHigh), b(LimitBound::RedHigh), kYellow));
        if (b(LimitBound::RedHigh) < FieldLimits::kNone)
            bands_.push_back(addBand(this, value, b(LimitBound::RedHigh), FieldLimits::kNone, kRed));
        QCPGraph *yellow = addMarks(this, value, QCPScatterStyle::ssTriangle, kYellow);
        QCPGraph *red = addMarks(this, value, QCPScatterStyle::ssDiamond, kRed);
        for (const QCPGraphData &p : l.line->points) {
            const LimitState state = valueState(limits, p.value);
            if (state != LimitState::Green)
                (state == LimitState::Red ? red : yellow)->addData(p.key, p.value);
        }
        marks_.push_back(yellow);
        marks_.push_back(red);
    }
}

QCPGraph *HistoryPlot::graphOf(std::size_t index) const
{
    return index < lines_.size() ? graph(static_cast<int>(index)) : nullptr;
}

void HistoryPlot::setSpan(const Span &span)
{
    xAxis->setRange(span.lower, span.upper);
    fitValues();
}

Span HistoryPlot::span() const
{
    return {xAxis->range().lower, xAxis->range().upper};
}

void HistoryPlot::fitValues()
{
    const Span shown = span();
    std::array<std::optional<QCPRange>, 2> ranges;
    for (const PlotLine &l : lines_) {
        const std::optional<QCPRange> r = valueRange(*l.line, shown);
        auto &range = ranges[static_cast<std::size_t>(l.axis)];
        if (r)
            range = range ? QCPRange(std::min(range->lower, r->lower), std::max(range->upper, r->upper)) : *r;
    }
    fitting_ = true;
    for (std::size_t a = 0; a < 2; ++a) {
        if (ranges[a])
            (a == 0 ? yAxis : yAxis2)->setRange(padded(*ranges[a]));
    }
    fitting_ = false;
    valuesMoved_ = false;
}

void HistoryPlot::valueRangeChanged()
{
    if (!fitting_)
        valuesMoved_ = true;
}

void HistoryPlot::setNote(const QString &text)
{
    note_->setText(text);
    note_->setVisible(!text.isEmpty());
}

bool isPlotFileName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("png") || suffix == QLatin1String("pdf") || suffix == QLatin1String("svg");
}

QString savePlot(HistoryPlot &plot, const QString &path, QSize size)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (!isPlotFileName(path))
        return path + QStringLiteral(": the name must end in .png, .pdf or .svg");
    if (size.width() < 1 || size.height() < 1)
        return QStringLiteral("the picture needs a size");
    // Drawn whole before the file is touched, then written by the rules of
    // every output of the programs.
    QByteArray bytes;
    QBuffer file(&bytes);
    file.open(QIODevice::WriteOnly);
    bool drawn = false;
    if (suffix == QLatin1String("png")) {
        const QPixmap picture = plot.toPixmap(size.width(), size.height());
        drawn = !picture.isNull() && picture.save(&file, "PNG");
    } else if (suffix == QLatin1String("pdf")) {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Halcyra Telemetry Decoder"));
        writer.setTitle(QStringLiteral("Halcyra telemetry history"));
        // A page of the picture's size, one point per pixel.
        writer.setPageLayout(QPageLayout(QPageSize(QSizeF(size), QPageSize::Point, QString(), QPageSize::ExactMatch),
                                         QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        QCPPainter painter;
        if (painter.begin(&writer)) {
            painter.setMode(QCPPainter::pmVectorized);
            painter.setWindow(QRect(QPoint(0, 0), size));
            plot.toPainter(&painter, size.width(), size.height());
            drawn = painter.end();
        }
    } else {
        QSvgGenerator generator;
        generator.setOutputDevice(&file);
        // Pixels as the CSS pixels of a browser, 96 to the inch.
        generator.setResolution(96);
        generator.setSize(size);
        generator.setViewBox(QRect(QPoint(0, 0), size));
        generator.setTitle(QStringLiteral("Halcyra telemetry history"));
        QCPPainter painter;
        if (painter.begin(&generator)) {
            painter.setMode(QCPPainter::pmVectorized);
            drawClipped(plot, painter, size);
            drawn = painter.end();
        }
    }
    if (!drawn)
        return path + QStringLiteral(": the picture could not be drawn");
    OutputFile output(QFile::encodeName(path).toStdString());
    if (output.open() && output.write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))) &&
        output.flush() && output.commit())
        return {};
    return QFile::decodeName(QByteArray::fromStdString(output.error()));
}

} // namespace halcyra::history
