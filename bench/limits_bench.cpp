// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The cost of checking limits on every frame of a decode, next to the cost of
// decoding the frame: --check-limits may make a decode at most 10 % slower.

#include "fieldlimits.h"
#include "fields.h"
#include "frame.h"
#include "lines.h"
#include "loggen.h"
#include "parser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Frame {
    halcyra::FrameKind kind;
    std::string text;
    halcyra::TelemetryRecord record;
};

// A generated log's frames in arrival order, T1 and T2 interleaved as a
// receiver hears them, each with its decoded record.
const std::vector<Frame> &stream()
{
    static const std::vector<Frame> frames = [] {
        halcyra::loggen::Options o;
        o.t1Frames = 5000;
        o.t2Frames = 5000;
        const std::string log = halcyra::loggen::generateLog(o);
        std::vector<Frame> all;
        halcyra::LogScanner scanner;
        halcyra::forEachLine(log, [&](std::string_view line) {
            scanner.scan(line, [&](halcyra::FrameKind kind, std::string_view text, const halcyra::FrameTimeText &) {
                Frame f{kind, std::string(text), {}};
                if (kind == halcyra::FrameKind::T1)
                    halcyra::DecodeT1Frame(f.text, f.record);
                else
                    halcyra::DecodeT2Frame(f.text, f.record);
                all.push_back(std::move(f));
            });
        });
        return all;
    }();
    return frames;
}

// How the stream's values lie against their bands.
enum Weather { Healthy, BadDay, Busy };
constexpr const char *kWeatherNames[] = {"healthy", "bad day", "busy"};

// Every field limited, two frames in a row, its bands drawn from the
// stream's own spread. Healthy: green between the lowest and the highest
// value, red a tenth of the spread beyond, so that no field leaves green, as
// on most days. A bad day: the same, but the battery, solar and bus voltages
// (fields 14 to 26) all yellow, every frame. Busy: yellow beyond the middle
// 80 % and red beyond the middle 96 %, so that fields cross their bounds all
// the time, as no sound limits file makes them.
halcyra::Limits allFieldsLimited(Weather weather)
{
    halcyra::Limits limits;
    for (int i = 0; i < halcyra::kFieldCount; ++i) {
        std::vector<double> values;
        for (const Frame &f : stream())
            if (f.kind == halcyra::storeOf(i))
                values.push_back(f.record.Values[static_cast<std::size_t>(i)]);
        std::sort(values.begin(), values.end());
        const auto at = [&](double share) { return values[static_cast<std::size_t>(share * (values.size() - 1))]; };
        const double spread = values.back() - values.front() + 1, low = at(0), high = at(1);
        halcyra::FieldLimits &field = limits.field(i);
        if (weather == Busy)
            field.bounds = {at(0.02), at(0.10), at(0.90), at(0.98)};
        else if (weather == BadDay && i >= 14 && i <= 26)
            field.bounds = {low - spread, low - spread, low - spread, high + spread};
        else
            field.bounds = {low - spread / 10, low, high, high + spread / 10};
        field.persistence = 2;
    }
    return limits;
}

void decode(const Frame &f, halcyra::TelemetryRecord &record)
{
    if (f.kind == halcyra::FrameKind::T1)
        halcyra::DecodeT1Frame(f.text, record);
    else
        benchmark::DoNotOptimize(halcyra::DecodeT2Frame(f.text, record));
}

void perFrame(benchmark::State &state, std::size_t frames, std::size_t changes)
{
    const double count = static_cast<double>(state.iterations()) * static_cast<double>(frames);
    state.SetItemsProcessed(static_cast<std::int64_t>(count));
    state.counters["changes_per_frame"] = static_cast<double>(changes) / count;
    state.SetLabel(kWeatherNames[state.range(0)]);
}

// The evaluator alone, over records decoded beforehand: frames/s.
void BM_CheckLimits(benchmark::State &state)
{
    const std::vector<Frame> &frames = stream();
    halcyra::LimitEvaluator evaluator(allFieldsLimited(static_cast<Weather>(state.range(0))));
    std::size_t changes = 0;
    for (auto _ : state) {
        for (const Frame &f : frames)
            changes += evaluator.feed(f.kind, f.record).size();
        benchmark::ClobberMemory();
    }
    perFrame(state, frames.size(), changes);
}
BENCHMARK(BM_CheckLimits)->DenseRange(Healthy, Busy);

// The frame decode alone, without the log's lines or the CSV texts that a
// decode also spends its time on: the smallest cost the limits are set against.
void BM_Decode(benchmark::State &state)
{
    const std::vector<Frame> &frames = stream();
    halcyra::TelemetryRecord record;
    for (auto _ : state) {
        for (const Frame &f : frames) {
            decode(f, record);
            benchmark::DoNotOptimize(record);
        }
    }
    perFrame(state, frames.size(), 0);
}
BENCHMARK(BM_Decode)->Arg(0);

// Each frame checked as the decode leaves it, the record still in the cache.
void BM_DecodeAndCheckLimits(benchmark::State &state)
{
    const std::vector<Frame> &frames = stream();
    halcyra::LimitEvaluator evaluator(allFieldsLimited(static_cast<Weather>(state.range(0))));
    halcyra::TelemetryRecord record;
    std::size_t changes = 0;
    for (auto _ : state) {
        for (const Frame &f : frames) {
            decode(f, record);
            changes += evaluator.feed(f.kind, record).size();
        }
    }
    perFrame(state, frames.size(), changes);
}
BENCHMARK(BM_DecodeAndCheckLimits)->DenseRange(Healthy, Busy);

} // namespace

BENCHMARK_MAIN();
