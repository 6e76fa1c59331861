// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Throughput of the re-parse that every keystroke in the log box runs.

#include "csv.h"
#include "loggen.h"
#include "numtext.h"
#include "numtext_reference.h"
#include "parser.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

std::string fullLog(bool variations)
{
    halcyra::loggen::Options o;
    o.t1Frames = 1000;
    o.t2Frames = 1000;
    o.variations = variations;
    return halcyra::loggen::generateLog(o);
}

void runCycle(benchmark::State &state, const std::string &log)
{
    auto t1 = std::make_unique<halcyra::RecordStore>();
    auto t2 = std::make_unique<halcyra::RecordStore>();
    halcyra::FrameTimeText time;
    for (auto _ : state) {
        auto result = halcyra::RunParseCycle(log, time, *t1, *t2);
        benchmark::DoNotOptimize(result);
        benchmark::DoNotOptimize(t1->records[1000].Values[0]);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(log.size()));
    state.counters["log_bytes"] = static_cast<double>(log.size());
}

// 1000 T1 and 1000 T2 frames with time stamps of all three styles and noise.
void BM_ParseCycle(benchmark::State &state)
{
    runCycle(state, fullLog(false));
}
BENCHMARK(BM_ParseCycle);

// The same with blanks between byte pairs and lower-case frames mixed in.
void BM_ParseCycleMixed(benchmark::State &state)
{
    runCycle(state, fullLog(true));
}
BENCHMARK(BM_ParseCycleMixed);

// The number texts, next to the plain library conversions they replaced.
using Formatter = std::size_t (*)(double, char, char *);

void BM_GeneralText(benchmark::State &state, Formatter format)
{
    double v = 91.57508999999999;
    char buffer[halcyra::kNumberTextCapacity];
    for (auto _ : state) {
        benchmark::DoNotOptimize(format(v, '.', buffer));
        v += 0.001;
    }
}
BENCHMARK_CAPTURE(BM_GeneralText, shipped, halcyra::formatGeneral);
BENCHMARK_CAPTURE(BM_GeneralText, reference, halcyra::reference::formatGeneral);

void textOver(benchmark::State &state, Formatter format, const std::vector<double> &values)
{
    char buffer[halcyra::kNumberTextCapacity];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(format(values[i], '.', buffer));
        i = i + 1 == values.size() ? 0 : i + 1;
    }
}

// The decoded values of a generated log's frames, each record's own fields.
const std::vector<double> &decodedValues()
{
    static const std::vector<double> values = [] {
        auto t1 = std::make_unique<halcyra::RecordStore>();
        auto t2 = std::make_unique<halcyra::RecordStore>();
        halcyra::FrameTimeText time;
        halcyra::RunParseCycle(fullLog(false), time, *t1, *t2);
        std::vector<double> all;
        for (int r = 1; r <= t1->count; ++r)
            for (int i = 0; i < halcyra::kFirstT2Field; ++i)
                all.push_back(t1->records[static_cast<std::size_t>(r)].Values[static_cast<std::size_t>(i)]);
        for (int r = 1; r <= t2->count; ++r)
            for (int i = halcyra::kFirstT2Field; i < halcyra::kFieldCount; ++i)
                all.push_back(t2->records[static_cast<std::size_t>(r)].Values[static_cast<std::size_t>(i)]);
        return all;
    }();
    return values;
}

void BM_GeneralTextDecoded(benchmark::State &state, Formatter format)
{
    textOver(state, format, decodedValues());
}
BENCHMARK_CAPTURE(BM_GeneralTextDecoded, shipped, halcyra::formatGeneral);
BENCHMARK_CAPTURE(BM_GeneralTextDecoded, reference, halcyra::reference::formatGeneral);

// Finite doubles of random bits, nearly all far from telemetry magnitudes.
void BM_GeneralTextRandom(benchmark::State &state, Formatter format)
{
    static const std::vector<double> values = [] {
        std::mt19937_64 random(1);
        std::vector<double> all;
        while (all.size() < 65536)
            if (const double v = std::bit_cast<double>(random()); std::isfinite(v))
                all.push_back(v);
        return all;
    }();
    textOver(state, format, values);
}
BENCHMARK_CAPTURE(BM_GeneralTextRandom, shipped, halcyra::formatGeneral);
BENCHMARK_CAPTURE(BM_GeneralTextRandom, reference, halcyra::reference::formatGeneral);

void BM_TwoDecimalsDecoded(benchmark::State &state, Formatter format)
{
    textOver(state, format, decodedValues());
}
BENCHMARK_CAPTURE(BM_TwoDecimalsDecoded, shipped, halcyra::formatTwoDecimals);
BENCHMARK_CAPTURE(BM_TwoDecimalsDecoded, reference, halcyra::reference::formatTwoDecimals);

// One CSV line of a T1 record: the work per frame of batch decoding.
void BM_CsvRecordT1(benchmark::State &state)
{
    auto t1 = std::make_unique<halcyra::RecordStore>();
    auto t2 = std::make_unique<halcyra::RecordStore>();
    halcyra::FrameTimeText time;
    halcyra::RunParseCycle(fullLog(false), time, *t1, *t2);
    std::string line;
    int k = 0;
    for (auto _ : state) {
        line.clear();
        halcyra::appendCsvRecord(line, t1->records[static_cast<std::size_t>(1 + k++ % t1->count)], '.', false);
        benchmark::DoNotOptimize(line.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(line.size()));
}
BENCHMARK(BM_CsvRecordT1);

} // namespace

BENCHMARK_MAIN();
