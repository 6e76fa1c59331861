// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Throughput of the re-parse that every keystroke in the log box runs.

#include "csv.h"
#include "loggen.h"
#include "numtext.h"
#include "parser.h"

#include <benchmark/benchmark.h>

#include <memory>

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

void BM_GeneralText(benchmark::State &state)
{
    double v = 91.57508999999999;
    char buffer[halcyra::kNumberTextCapacity];
    for (auto _ : state) {
        benchmark::DoNotOptimize(halcyra::formatGeneral(v, '.', buffer));
        v += 0.001;
    }
}
BENCHMARK(BM_GeneralText);

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
