// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// KISS frames from a TNC parsed per second on one core: the framing undone
// and the AX.25 frame parsed, then the whole reader that also picks the
// telemetry, writes the log's lines and keeps the frame for the archive.

#include "ax25frame.h"
#include "kissdeframer.h"
#include "tncreader.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace halcyra;
using namespace halcyra::tnc;

constexpr int kFrames = 1000;

std::vector<std::uint8_t> bytesOf(const std::string &text)
{
    return {text.begin(), text.end()};
}

// A pass as a TNC on a busy channel delivers it: per four frames, the
// satellite's T1 in hex text, its T2 in raw bytes (with bytes to escape),
// another station's position report and the satellite's beacon text.
std::vector<std::uint8_t> stream()
{
    std::mt19937 random(5);
    std::vector<std::uint8_t> out;
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::vector<Ax25Address> path = {{"WIDE1", 1, true}, {"WIDE2", 1}};
    for (int i = 0; i < kFrames; ++i) {
        std::vector<std::uint8_t> info;
        std::string source = "QZ7ZQ";
        switch (i % 4) {
        case 0: {
            std::string text = "T1";
            for (int k = 0; k < 128; ++k)
                text += kHex[random() % 16];
            info = bytesOf(text);
            break;
        }
        case 1:
            info = bytesOf("T2");
            for (int k = 0; k < 48; ++k)
                info.push_back(static_cast<std::uint8_t>(random()));
            break;
        case 2:
            source = "AB1CD";
            info = bytesOf("!4903.50N/07201.75W-Test 001234 QTH near the river");
            break;
        default:
            info = bytesOf("QZ7ZQ beacon: all systems nominal");
            break;
        }
        const auto ax25 = ax25UiFrame({"CQ", 0}, {source, 1}, path, info);
        const auto framed = kissFrame(0, ax25);
        out.insert(out.end(), framed.begin(), framed.end());
    }
    return out;
}

// In the pieces a socket read returns.
constexpr std::size_t kPiece = 4096;

void BM_KissParse(benchmark::State &state)
{
    const std::vector<std::uint8_t> bytes = stream();
    KissDeframer deframer;
    std::uint64_t parsed = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
            const auto piece = std::span(bytes).subspan(at, std::min(kPiece, bytes.size() - at));
            deframer.feed(piece, [&](int, std::span<const std::uint8_t> ax25) {
                const auto frame = parseAx25(ax25);
                parsed += frame.has_value();
                benchmark::DoNotOptimize(frame);
            });
        }
    }
    if (parsed != static_cast<std::uint64_t>(state.iterations()) * kFrames)
        state.SkipWithError("frames lost");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_KissParse);

void BM_TncReader(benchmark::State &state)
{
    const std::vector<std::uint8_t> bytes = stream();
    TncReader reader;
    std::uint64_t telemetry = 0;
    std::size_t logBytes = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
            const auto piece = std::span(bytes).subspan(at, std::min(kPiece, bytes.size() - at));
            reader.feed(
                piece, 1'796'644'800'000, [&](const archive::LoggedFrame &) { ++telemetry; },
                [&](std::string_view lines) { logBytes += lines.size(); });
        }
    }
    if (telemetry != static_cast<std::uint64_t>(state.iterations()) * kFrames / 2)
        state.SkipWithError("telemetry lost");
    benchmark::DoNotOptimize(logBytes);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames);
}
BENCHMARK(BM_TncReader);

} // namespace

BENCHMARK_MAIN();
