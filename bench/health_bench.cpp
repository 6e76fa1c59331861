// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// What the Health view costs per arriving frame: the model alone, and the
// whole way in the window (the line read from the log box, the frame decoded,
// the model, the table's rows and the view painted again), which may take at
// most 2 ms. And the once-a-minute cost of a minute leaving a full day.

#include "dayextremes.h"
#include "frame.h"
#include "healthdock.h"
#include "healthmodel.h"
#include "lines.h"
#include "loggen.h"
#include "parser.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

using namespace halcyra;

struct Frame {
    FrameKind kind;
    std::string text;
    TelemetryRecord record;
};

// A generated log's frames in arrival order, T1 and T2 interleaved, each decoded.
const std::vector<Frame> &stream()
{
    static const std::vector<Frame> frames = [] {
        loggen::Options o;
        o.t1Frames = 2000;
        o.t2Frames = 2000;
        const std::string log = loggen::generateLog(o);
        std::vector<Frame> all;
        LogScanner scanner;
        forEachLine(log, [&](std::string_view line) {
            scanner.scan(line, [&](FrameKind kind, std::string_view text, const FrameTimeText &) {
                Frame f{kind, std::string(text), {}};
                if (kind == FrameKind::T1)
                    DecodeT1Frame(f.text, f.record);
                else
                    DecodeT2Frame(f.text, f.record);
                all.push_back(std::move(f));
            });
        });
        return all;
    }();
    return frames;
}

constexpr UtcMillis kStart = 1'780'000'000'000;

void BM_ModelPerFrame(benchmark::State &state)
{
    const std::vector<Frame> &frames = stream();
    Limits limits;
    for (int i = 0; i < kFieldCount; ++i)
        limits.field(i).bounds = {-1e9, -1e8, 1e8, 1e9};
    health::HealthModel model(limits);
    std::size_t i = 0;
    UtcMillis t = kStart;
    for (auto _ : state) {
        const Frame &f = frames[i];
        benchmark::DoNotOptimize(model.feed(f.kind, f.record, t));
        t += 2000; // a frame every 2 s, a pass after every 20 minutes of them
        if (++i == frames.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ModelPerFrame);

// The real dock on a growing log box text, shown. Painted: as the window
// does, the rows a frame changed at the next turn of the event loop; or, the
// worst case, the whole table; or not at all, to tell reading from painting.
enum Paint { Changed, Whole, None };
void BM_DockPerFrame(benchmark::State &state)
{
    const auto paint = static_cast<Paint>(state.range(0));
    const std::vector<Frame> &frames = stream();
    std::string text;
    text.reserve(std::size_t{256} << 20);
    health::HealthDock dock({[&text] { return std::string_view(text); }, [] { return true; }});
    dock.resize(900, 1000);
    dock.show();
    QApplication::processEvents();
    std::size_t i = 0;
    for (auto _ : state) {
        const std::size_t from = text.size();
        text += frames[i].text;
        text += "\r\n";
        dock.logChanged(from);
        if (paint == Changed)
            QApplication::processEvents();
        else if (paint == Whole)
            dock.table()->viewport()->repaint();
        if (++i == frames.size())
            i = 0;
        if (text.size() + 256 > text.capacity()) { // keep the views valid: start over
            state.PauseTiming();
            text.clear();
            dock.logChanged(0);
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DockPerFrame)->ArgName("paint")->Arg(Changed)->Arg(Whole)->Arg(None)->Unit(benchmark::kMicrosecond);

// A frame in every minute of the day; each step lets the oldest go.
void BM_MinuteLeavesTheDay(benchmark::State &state)
{
    const std::vector<Frame> &frames = stream();
    health::DayExtremes day;
    UtcMillis t = kStart;
    for (int m = 0; m < health::DayExtremes::kMinutes; ++m, t += health::DayExtremes::kMinuteMs)
        day.add(frames[static_cast<std::size_t>(m) % frames.size()].kind,
                frames[static_cast<std::size_t>(m) % frames.size()].record, t);
    for (auto _ : state) {
        benchmark::DoNotOptimize(day.advance(t));
        day.add(FrameKind::T1, frames[0].record, t);
        t += health::DayExtremes::kMinuteMs;
    }
}
BENCHMARK(BM_MinuteLeavesTheDay)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
