// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "ax25frame.h"
#include "importer.h"
#include "kissdeframer.h"
#include "tncreader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using namespace halcyra;
using namespace halcyra::tnc;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Deframed {
    std::vector<std::pair<int, Bytes>> frames;
    KissDeframer::Counts counts;
};

// The stream cut into pieces at `cuts` (ascending positions).
Deframed deframe(const Bytes &stream, const std::vector<std::size_t> &cuts)
{
    KissDeframer deframer;
    Deframed out;
    std::size_t from = 0;
    auto take = [&](int port, std::span<const std::uint8_t> f) {
        out.frames.emplace_back(port, Bytes(f.begin(), f.end()));
    };
    for (std::size_t cut : cuts) {
        deframer.feed(std::span(stream).subspan(from, cut - from), take);
        from = cut;
    }
    deframer.feed(std::span(stream).subspan(from), take);
    out.counts = deframer.counts();
    return out;
}

bool sameCounts(const KissDeframer::Counts &a, const KissDeframer::Counts &b)
{
    return a.frames == b.frames && a.commands == b.commands && a.oversize == b.oversize && a.badEscapes == b.badEscapes;
}

TEST(KissDeframer, FramesAndCountsWhateverTheSplit)
{
    const Bytes big(KissDeframer::kMaxFrame, 0x41);
    const struct {
        const char *what;
        Bytes stream;
        std::vector<std::pair<int, Bytes>> frames;
        KissDeframer::Counts counts;
    } cases[] = {
        {"one frame", {0xC0, 0x00, 'A', 'B', 0xC0}, {{0, bytesOf("AB")}}, {1, 0, 0, 0}},
        {"escapes", {0xC0, 0x00, 0xDB, 0xDC, 'x', 0xDB, 0xDD, 0xC0}, {{0, {0xC0, 'x', 0xDB}}}, {1, 0, 0, 0}},
        {"TFEND and TFESC alone are data", {0xC0, 0x00, 0xDC, 0xDD, 0xC0}, {{0, {0xDC, 0xDD}}}, {1, 0, 0, 0}},
        {"back-to-back FENDs",
         {0xC0, 0xC0, 0xC0, 0x00, 'A', 0xC0, 0xC0, 0x00, 'B', 0xC0, 0xC0},
         {{0, bytesOf("A")}, {0, bytesOf("B")}},
         {2, 0, 0, 0}},
        {"a shared FEND between frames",
         {0xC0, 0x00, 'A', 0xC0, 0x00, 'B', 0xC0},
         {{0, bytesOf("A")}, {0, bytesOf("B")}},
         {2, 0, 0, 0}},
        {"ports 1, 5, 15",
         {0xC0, 0x10, 'A', 0xC0, 0x50, 'B', 0xC0, 0xF0, 'C', 0xC0},
         {{1, bytesOf("A")}, {5, bytesOf("B")}, {15, bytesOf("C")}},
         {3, 0, 0, 0}},
        {"TXDELAY, SETHW and return are no frames",
         {0xC0, 0x01, 0x32, 0xC0, 0xC0, 0x06, 'A', 0xC0, 0xC0, 0xFF, 0xC0},
         {},
         {0, 3, 0, 0}},
        {"an empty data frame", {0xC0, 0x00, 0xC0}, {{0, {}}}, {1, 0, 0, 0}},
        {"bytes before the first FEND",
         bytesOf("xyz") + Bytes{0xC0, 0x00, 'A', 0xC0},
         {{0, bytesOf("A")}},
         {1, 0, 0, 0}},
        {"an unfinished frame", {0xC0, 0x00, 'A', 'B'}, {}, {0, 0, 0, 0}},
        {"a bad escape drops its frame only",
         {0xC0, 0x00, 'A', 0xDB, 'A', 'B', 0xC0, 0x00, 'C', 0xC0},
         {{0, bytesOf("C")}},
         {1, 0, 0, 1}},
        {"FESC FEND", {0xC0, 0x00, 'A', 0xDB, 0xC0, 0x00, 'C', 0xC0}, {{0, bytesOf("C")}}, {1, 0, 0, 1}},
        {"the longest frame", Bytes{0xC0, 0x00} + big + Bytes{0xC0}, {{0, big}}, {1, 0, 0, 0}},
        {"one byte more",
         Bytes{0xC0, 0x00} + big + Bytes{'A', 0xDB, 'x', 0xC0, 0x00, 'C', 0xC0},
         {{0, bytesOf("C")}},
         {1, 0, 1, 0}},
    };
    for (const auto &k : cases) {
        // Whole, byte by byte, and cut in two at every byte.
        const Deframed whole = deframe(k.stream, {});
        EXPECT_EQ(whole.frames, k.frames) << k.what;
        EXPECT_TRUE(sameCounts(whole.counts, k.counts)) << k.what;
        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i < k.stream.size(); ++i)
            everyByte.push_back(i);
        EXPECT_EQ(deframe(k.stream, everyByte).frames, k.frames) << k.what;
        for (std::size_t cut = 1; cut < k.stream.size(); ++cut) {
            const Deframed split = deframe(k.stream, {cut});
            ASSERT_EQ(split.frames, k.frames) << k.what << ", cut at " << cut;
            ASSERT_TRUE(sameCounts(split.counts, k.counts)) << k.what << ", cut at " << cut;
        }
    }
}

TEST(KissDeframer, KissFrameReadsBackAndResetDropsACutFrame)
{
    const Bytes ax25{0x00, 0xC0, 0xDB, 0xDC, 0xDD, 0xFF, 'Q'};
    EXPECT_EQ(deframe(kissFrame(7, ax25), {}).frames, (std::vector<std::pair<int, Bytes>>{{7, ax25}}));

    KissDeframer deframer;
    std::vector<Bytes> frames;
    auto take = [&](int, std::span<const std::uint8_t> f) { frames.emplace_back(f.begin(), f.end()); };
    // The connection breaks mid-frame, where the rest would read as a frame of port 1.
    const Bytes first = kissFrame(0, Bytes{'A', 0x10, 'x', 'y'});
    deframer.feed(std::span(first).first(3), take);
    deframer.reset();
    const Bytes rest = Bytes(first.begin() + 3, first.end()) + kissFrame(0, bytesOf("second"));
    deframer.feed(rest, take);
    EXPECT_EQ(frames, std::vector<Bytes>{bytesOf("second")});
}

// Address bytes as a sender writes them.
Bytes address(std::string_view call, int ssid, bool last, std::uint8_t high = 0)
{
    Bytes out;
    for (std::size_t i = 0; i < 6; ++i)
        out.push_back(static_cast<std::uint8_t>((i < call.size() ? call[i] : ' ') << 1));
    out.push_back(static_cast<std::uint8_t>(high | 0x60 | (ssid << 1) | (last ? 1 : 0)));
    return out;
}

TEST(Ax25, ParsesWellFormedFrames)
{
    std::vector<Ax25Address> eight;
    for (int i = 0; i < 8; ++i)
        eight.push_back({"DIGI" + std::to_string(i), i, i < 3});
    const Bytes ui8 = ax25UiFrame({"APRS", 0}, {"QZ7ZQ", 15}, eight, bytesOf("T1 hello"));
    const auto f = parseAx25(ui8);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->destination, (Ax25Address{"APRS", 0}));
    EXPECT_EQ(f->source, (Ax25Address{"QZ7ZQ", 15}));
    EXPECT_EQ(f->digipeaters, eight);
    EXPECT_TRUE(f->isUi());
    EXPECT_EQ(f->pid, kNoLayer3Pid);
    EXPECT_EQ(Bytes(f->info.begin(), f->info.end()), bytesOf("T1 hello"));

    const Bytes head = address("CQ", 0, false, 0x80) + address("A1B", 3, true);
    const struct {
        const char *what;
        Bytes frame;
        std::uint8_t control;
        std::optional<std::uint8_t> pid;
        std::size_t infoLength;
        bool ui;
    } cases[] = {
        {"UI, no info", head + Bytes{0x03, 0xF0}, 0x03, 0xF0, 0, true},
        {"UI with the poll bit", head + Bytes{0x13, 0xCF, 'x'}, 0x13, 0xCF, 1, true},
        {"I frame", head + Bytes{0x22, 0xF0, 'x', 'y'}, 0x22, 0xF0, 2, false},
        {"RR, no PID", head + Bytes{0x41}, 0x41, std::nullopt, 0, false},
        {"SABM", head + Bytes{0x2F}, 0x2F, std::nullopt, 0, false},
        {"FRMR with its info", head + Bytes{0x87, 1, 2, 3}, 0x87, std::nullopt, 3, false},
    };
    for (const auto &k : cases) {
        const auto g = parseAx25(k.frame);
        ASSERT_TRUE(g) << k.what;
        EXPECT_EQ(g->destination, (Ax25Address{"CQ", 0})) << k.what; // the C bit is no H bit
        EXPECT_EQ(g->source, (Ax25Address{"A1B", 3})) << k.what;
        EXPECT_TRUE(g->digipeaters.empty()) << k.what;
        EXPECT_EQ(g->control, k.control) << k.what;
        EXPECT_EQ(g->pid, k.pid) << k.what;
        EXPECT_EQ(g->info.size(), k.infoLength) << k.what;
        EXPECT_EQ(g->isUi(), k.ui) << k.what;
    }
}

TEST(Ax25, AddressTexts)
{
    const struct {
        std::string_view text;
        std::optional<Ax25Address> address;
    } cases[] = {
        {"QZ7ZQ", Ax25Address{"QZ7ZQ", 0}},
        {"qz7zq-15", Ax25Address{"QZ7ZQ", 15}},
        {"A-0", Ax25Address{"A", 0}},
        {"ABCDEF-9", Ax25Address{"ABCDEF", 9}},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"ABCDEFG", std::nullopt},
        {"QZ7ZQ-16", std::nullopt},
        {"QZ7ZQ-", std::nullopt},
        {"QZ7ZQ-01", std::nullopt},
        {"QZ7ZQ-+1", std::nullopt},
        {"QZ 7", std::nullopt},
        {"QZ7ZQ-1-2", std::nullopt},
    };
    for (const auto &k : cases) {
        EXPECT_EQ(parseAddressText(k.text), k.address) << k.text;
        if (k.address) {
            EXPECT_EQ(parseAddressText(addressText(*k.address)), k.address) << k.text;
        }
    }
}

TEST(Ax25, RefusesMalformedFrames)
{
    const Bytes dest = address("CQ", 0, false);
    const Bytes ui{0x03, 0xF0, 'x'};
    Bytes nine = dest + address("QZ7ZQ", 0, false);
    for (int i = 0; i < 9; ++i)
        nine = nine + address("D" + std::to_string(i), 0, i == 8);
    Bytes shifted = dest + address("QZ7ZQ", 0, true) + ui;
    shifted[8] |= 0x01; // the extension bit in a character of the source
    const struct {
        const char *what;
        Bytes frame;
    } cases[] = {
        {"nothing", {}},
        {"half an address", Bytes(dest.begin(), dest.begin() + 5)},
        {"the destination ends the addresses", address("CQ", 0, true) + address("QZ7ZQ", 0, true) + ui},
        {"the addresses never end", dest + address("QZ7ZQ", 0, false) + address("D1", 0, false)},
        {"nine digipeaters", nine + ui},
        {"a character with the extension bit", shifted},
        {"a lower-case call", dest + address("qz7zq", 0, true) + ui},
        {"a blank inside the call", dest + address("QZ ZQ", 0, true) + ui},
        {"an empty call", dest + address("", 0, true) + ui},
        {"a character no call has", dest + address("QZ-ZQ", 0, true) + ui},
        {"no control byte", dest + address("QZ7ZQ", 0, true)},
        {"UI without its PID", dest + address("QZ7ZQ", 0, true) + Bytes{0x03}},
        {"I frame without its PID", dest + address("QZ7ZQ", 0, true) + Bytes{0x10}},
    };
    for (const auto &k : cases)
        EXPECT_FALSE(parseAx25(k.frame)) << k.what;
    // Eight digipeaters is as many as there may be.
    Bytes eight = dest + address("QZ7ZQ", 0, false);
    for (int i = 0; i < 8; ++i)
        eight = eight + address("D" + std::to_string(i), 0, i == 7);
    EXPECT_TRUE(parseAx25(eight + ui));
}

// A payload of every byte value in turn, so the order of digits shows.
Bytes payload(std::size_t n, std::uint8_t first)
{
    Bytes out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(static_cast<std::uint8_t>(first + i * 37));
    return out;
}

std::string hex(const Bytes &bytes, bool lower = false, std::string_view blank = "")
{
    static constexpr char kUpper[] = "0123456789ABCDEF";
    static constexpr char kLower[] = "0123456789abcdef";
    const char *digits = lower ? kLower : kUpper;
    std::string out;
    for (std::uint8_t b : bytes) {
        if (!out.empty())
            out += blank;
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

struct Read {
    std::vector<archive::LoggedFrame> telemetry;
    std::string log;
    TncCounts counts;
};

Read readFrames(const std::vector<Bytes> &ax25Frames, UtcMillis received, const std::string &call = "QZ7ZQ")
{
    TncReader reader(call);
    Read out;
    for (const Bytes &ax25 : ax25Frames) {
        const Bytes kiss = kissFrame(0, ax25);
        reader.feed(
            kiss, received, [&](const archive::LoggedFrame &f) { out.telemetry.push_back(f); },
            [&](std::string_view lines) { out.log += lines; });
    }
    out.counts = reader.counts();
    return out;
}

Bytes ui(std::string_view source, const Bytes &info, int ssid = 0)
{
    return ax25UiFrame({"CQ", 0}, {std::string(source), ssid}, {{"WIDE1", 1, true}}, info);
}

constexpr UtcMillis kReceived = 1'796'647'512'345; // 2026-12-07 12:45:12.345

TEST(TncReader, HexTextAndRawBytesBecomeTheFrameTheLogReadsBack)
{
    const Bytes t1 = payload(64, 3);
    const Bytes t2 = payload(48, 250);
    const struct {
        const char *what;
        Bytes info;
        FrameKind kind;
        const Bytes &bytes;
    } cases[] = {
        {"T1 hex", bytesOf("T1" + hex(t1)), FrameKind::T1, t1},
        {"T1 hex, lower case, blanks", bytesOf("T1 " + hex(t1, true, " ")), FrameKind::T1, t1},
        {"T1 hex, a line end", bytesOf("T1" + hex(t1) + "\r"), FrameKind::T1, t1},
        {"T1 raw", bytesOf("T1") + t1, FrameKind::T1, t1},
        {"T2 hex", bytesOf("T2" + hex(t2, false, "  ")), FrameKind::T2, t2},
        {"T2 raw", bytesOf("T2") + t2, FrameKind::T2, t2},
    };
    for (const auto &k : cases) {
        const Bytes frame = ui("QZ7ZQ", k.info, 9);
        const Read read = readFrames({frame}, kReceived);
        ASSERT_EQ(read.telemetry.size(), 1u) << k.what;
        const archive::LoggedFrame &f = read.telemetry[0];
        EXPECT_EQ(read.counts.telemetry, 1u);
        EXPECT_EQ(f.kind, k.kind) << k.what;
        EXPECT_EQ(f.view(), (k.kind == FrameKind::T1 ? "T1" : "T2") + hex(k.bytes)) << k.what;
        EXPECT_EQ(f.received, kReceived) << k.what;
        ASSERT_TRUE(f.ax25) << k.what;
        EXPECT_EQ(*f.ax25, frame) << k.what;

        // The log's text, read as the window and the batch tool read it.
        EXPECT_EQ(read.log, "2026-12-07 12:45:12.345 UTC\n" + std::string(f.view()) + "\n") << k.what;
        archive::FrameReader reader{archive::ImportOptions{}};
        std::vector<archive::LoggedFrame> fromLog;
        reader.feed(read.log, [&](const archive::LoggedFrame &g) { fromLog.push_back(g); });
        ASSERT_EQ(fromLog.size(), 1u) << k.what;
        const archive::ArchiveFrame direct = archive::decodeFrame(f);
        const archive::ArchiveFrame logged = archive::decodeFrame(fromLog[0]);
        EXPECT_EQ(direct.payloadText(), logged.payloadText()) << k.what;
        EXPECT_EQ(direct.record.Values, logged.record.Values) << k.what;
        EXPECT_EQ(direct.record.FrameTime, logged.record.FrameTime) << k.what;
        EXPECT_EQ(direct.received, logged.received) << k.what;
        EXPECT_EQ(direct.ax25, f.ax25) << k.what;
        EXPECT_FALSE(logged.ax25) << k.what;
    }
}

TEST(TncReader, EverythingElseIsCountedAndNeverReadAsAFrame)
{
    const std::string t1 = "T1" + hex(payload(64, 1));
    Bytes sabm = address("CQ", 0, false) + address("QZ7ZQ", 0, true) + Bytes{0x2F};
    Bytes malformed = address("CQ", 0, true) + address("QZ7ZQ", 0, true) + Bytes{0x03, 0xF0};
    // A call with a tag in it and exactly a frame's length after it.
    const std::string tagInCall = "ST1AB>CQ,WIDE1-1*: " + std::string(kT1FrameLength - 17, 'x');
    const struct {
        const char *what;
        Bytes frame;
        TncCounts counts;
    } cases[] = {
        {"another station's telemetry", ui("QZ7ZR", bytesOf(t1)), {0, 1, 0, 0}},
        {"a longer call", ui("QZ7ZQX", bytesOf(t1)), {0, 1, 0, 0}},
        {"a shorter call", ui("QZ7Z", bytesOf(t1)), {0, 1, 0, 0}},
        {"a tag in the call", ui("ST1AB", bytesOf(std::string(kT1FrameLength - 17, 'x'))), {0, 1, 0, 0}},
        {"a beacon text", ui("QZ7ZQ", bytesOf("QZ7ZQ beacon <T1> [12:00:00R] \x01\xFF")), {0, 0, 1, 0}},
        {"a hex digit short", ui("QZ7ZQ", bytesOf(t1.substr(0, 129))), {0, 0, 1, 0}},
        {"a hex digit more", ui("QZ7ZQ", bytesOf(t1 + "0")), {0, 0, 1, 0}},
        {"no hex digit", ui("QZ7ZQ", bytesOf(t1.substr(0, 129) + "G")), {0, 0, 1, 0}},
        {"T1 raw, a byte short", ui("QZ7ZQ", bytesOf("T1") + payload(63, 0)), {0, 0, 1, 0}},
        {"T1 raw, a byte more", ui("QZ7ZQ", bytesOf("T1") + payload(65, 0)), {0, 0, 1, 0}},
        {"T2 with a T1's bytes", ui("QZ7ZQ", bytesOf("T2") + payload(64, 0)), {0, 0, 1, 0}},
        {"T2 raw, a byte more", ui("QZ7ZQ", bytesOf("T2") + payload(49, 0)), {0, 0, 1, 0}},
        {"T3", ui("QZ7ZQ", bytesOf("T3" + t1.substr(2))), {0, 0, 1, 0}},
        {"no UI frame", sabm, {0, 0, 1, 0}},
        {"an I frame with telemetry",
         address("CQ", 0, false) + address("QZ7ZQ", 0, true) + Bytes{0x00, 0xF0} + bytesOf(t1),
         {0, 0, 1, 0}},
        {"malformed", malformed, {0, 0, 0, 1}},
    };
    for (const auto &k : cases) {
        const Read read = readFrames({k.frame}, kReceived);
        EXPECT_TRUE(read.telemetry.empty()) << k.what;
        EXPECT_EQ(read.counts.telemetry, k.counts.telemetry) << k.what;
        EXPECT_EQ(read.counts.otherStations, k.counts.otherStations) << k.what;
        EXPECT_EQ(read.counts.otherInfo, k.counts.otherInfo) << k.what;
        EXPECT_EQ(read.counts.malformed, k.counts.malformed) << k.what;
        if (k.counts.malformed) {
            EXPECT_EQ(read.log, "") << k.what;
            continue;
        }
        EXPECT_EQ(read.log.rfind("2026-12-07 12:45:12.345 UTC\n", 0), 0u) << k.what;
        archive::FrameReader reader{archive::ImportOptions{}};
        reader.feed(read.log, [&](const archive::LoggedFrame &) { ADD_FAILURE() << k.what << ": " << read.log; });
        EXPECT_EQ(reader.lines().t1WrongLength + reader.lines().t2WrongLength, 0u) << k.what;
    }
    EXPECT_EQ(readFrames({ui("QZ7ZQ", bytesOf("hi\r<T 1>"))}, kReceived).log,
              "2026-12-07 12:45:12.345 UTC\nQZ7ZQ>CQ,WIDE1-1*: hi<0D><3C><54> 1>\n");
    EXPECT_EQ(readFrames({sabm}, kReceived).log, "2026-12-07 12:45:12.345 UTC\nQZ7ZQ>CQ [control 2F]: \n");
    EXPECT_EQ(readFrames({ui("ST1AB", bytesOf(std::string(kT1FrameLength - 17, 'x')))}, kReceived).log,
              "2026-12-07 12:45:12.345 UTC\n" + tagInCall + ".\n");
}

TEST(TncReader, TheSatellitesCallIsChosen)
{
    const Bytes info = bytesOf("T2" + hex(payload(48, 7)));
    const Read read = readFrames({ui("QZ7ZQ", info), ui("AB1CD", info, 2), ui("AB1CD", info, 0)}, kReceived, "ab1cd-7");
    EXPECT_EQ(read.counts.telemetry, 2u);
    EXPECT_EQ(read.counts.otherStations, 1u);
    EXPECT_THROW(TncReader("QZ7ZQ/1"), std::invalid_argument);
}

} // namespace
