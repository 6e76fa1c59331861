// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archiveday.h"
#include "dayextremes.h"
#include "fields.h"
#include "healthfeed.h"
#include "healthmodel.h"
#include "loggen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace halcyra;
using namespace halcyra::health;

namespace {

constexpr int kBatt = 17; // a T1 field: Batt1 Volt
constexpr int kRssi = 36; // a T2 field: COMM1 RSSI
constexpr UtcMillis kT0 = 1'780'000'000'000;
constexpr UtcMillis kMin = 60'000;
constexpr UtcMillis kHour = 60 * kMin;
const double kEmpty = std::nan("");

// Every field of the kind reads `value`.
TelemetryRecord recordOf(double value)
{
    TelemetryRecord r;
    r.Values.fill(value);
    return r;
}

Limits battLimits()
{
    Limits limits;
    limits.field(kBatt).bounds = {6.0, 6.6, 8.0, 9.0};
    return limits;
}

struct Frame {
    FrameKind kind;
    double value;
    std::optional<UtcMillis> received;
};

struct ModelCase {
    const char *name;
    std::vector<Frame> frames;
    std::optional<UtcMillis> now; // the clock after the frames
    double newest;
    LimitState state;
    double passMin, passMax; // kEmpty: no extremes
    double dayMin, dayMax;
};

void PrintTo(const ModelCase &c, std::ostream *os)
{
    *os << c.name;
}

void expectExtremes(const Extremes &e, double min, double max, const char *what)
{
    if (std::isnan(min)) {
        EXPECT_TRUE(e.empty()) << what << " " << e.min << ".." << e.max;
        return;
    }
    EXPECT_EQ(e.min, min) << what;
    EXPECT_EQ(e.max, max) << what;
}

constexpr FrameKind T1 = FrameKind::T1;
constexpr FrameKind T2 = FrameKind::T2;
constexpr LimitState G = LimitState::Green, Y = LimitState::Yellow, R = LimitState::Red;

// Batt1 Volt after the frames, with red below 6, yellow below 6.6 and above 8, red above 9;
// one case a row.
// clang-format off
const ModelCase kModelCases[] = {
    // name, frames, the clock after them; newest, state, pass min and max, day min and max
    {"one frame", {{T1, 7, kT0}}, kT0, 7, G, 7, 7, 7, 7},
    {"the state is the newest value's, whatever came before", {{T1, 9.5, kT0}, {T1, 7, kT0 + 1000}}, {},
     7, G, 7, 9.5, 7, 9.5},
    {"above red_high is red", {{T1, 9.5, kT0}}, {}, 9.5, R, 9.5, 9.5, 9.5, 9.5},
    {"a bound itself is on its better side", {{T1, 8, kT0}}, {}, 8, G, 8, 8, 8, 8},
    {"just above yellow_high is yellow", {{T1, 8.01, kT0}}, {}, 8.01, Y, 8.01, 8.01, 8.01, 8.01},
    {"below yellow_low is yellow", {{T1, 6.5, kT0}}, {}, 6.5, Y, 6.5, 6.5, 6.5, 6.5},
    {"frames of the other kind leave the field alone", {{T1, 7, kT0}, {T2, 1, kT0 + 1000}}, {}, 7, G, 7, 7, 7, 7},
    {"10 minutes without a frame are still one pass", {{T1, 7, kT0}, {T1, 8, kT0 + 10 * kMin}}, {}, 8, G, 7, 8, 7, 8},
    {"longer begins a new pass", {{T1, 7, kT0}, {T1, 8, kT0 + 10 * kMin + 1}}, {}, 8, G, 8, 8, 7, 8},
    {"a new pass begun by the other kind empties this one's pass", {{T1, 7, kT0}, {T2, 1, kT0 + 11 * kMin}}, {},
     7, G, kEmpty, kEmpty, 7, 7},
    {"a frame of an earlier pass is no part of the current one", {{T1, 7, kT0}, {T1, 6.2, kT0 - 11 * kMin}}, {},
     6.2, Y, 7, 7, 6.2, 7},
    {"a frame a little before the pass began joins it", {{T1, 7, kT0}, {T1, 6.2, kT0 - 9 * kMin}}, {},
     6.2, Y, 6.2, 7, 6.2, 7},
    {"an unknown receive time joins the pass and no day", {{T1, 7, kT0}, {T1, 9.5, std::nullopt}}, {},
     9.5, R, 7, 9.5, 7, 7},
    {"24 hours later a frame has left the day, not the pass", {{T1, 7, kT0}}, kT0 + 24 * kHour + kMin,
     7, G, 7, 7, kEmpty, kEmpty},
    {"within 24 hours it stays", {{T1, 7, kT0}}, kT0 + 23 * kHour + 58 * kMin, 7, G, 7, 7, 7, 7},
    {"a frame a day after another ends the day for the first", {{T1, 7, kT0}, {T1, 8, kT0 + 25 * kHour}}, {},
     8, G, 8, 8, 8, 8},
    {"a frame already older than the day counts for the pass only", {{T1, 7, kT0}}, kT0 + 30 * kHour,
     7, G, 7, 7, kEmpty, kEmpty},
};
// clang-format on

class ModelRules : public testing::TestWithParam<ModelCase> {};

TEST_P(ModelRules, Hold)
{
    const ModelCase &c = GetParam();
    HealthModel model(battLimits());
    for (const Frame &f : c.frames)
        model.feed(f.kind, recordOf(f.value), f.received);
    if (c.now)
        model.advance(*c.now);
    EXPECT_EQ(model.newest(kBatt), c.newest);
    EXPECT_EQ(model.state(kBatt), c.state);
    expectExtremes(model.pass(kBatt), c.passMin, c.passMax, "pass");
    expectExtremes(model.day(kBatt), c.dayMin, c.dayMax, "day");
}

INSTANTIATE_TEST_SUITE_P(Health, ModelRules, testing::ValuesIn(kModelCases),
                         [](const testing::TestParamInfo<ModelCase> &info) {
                             std::string name;
                             for (const char *p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(HealthModel, ChangedRowsAreWhatAFrameChanged)
{
    constexpr ChangedRows::Mask t1 = (ChangedRows::Mask{1} << kFirstT2Field) - 1;
    constexpr ChangedRows::Mask t2 = ChangedRows::kAll & ~t1;
    constexpr ChangedRows::Mask batt = ChangedRows::Mask{1} << kBatt;
    HealthModel model;
    ChangedRows c = model.feed(T2, recordOf(1), kT0);
    EXPECT_EQ(c.values, t2);
    EXPECT_EQ(c.pass, t2);
    EXPECT_EQ(c.day, t2);
    c = model.feed(T1, recordOf(1), kT0 + 1000);
    EXPECT_EQ(c.values, t1);
    EXPECT_EQ(c.pass, t1);
    // The same frame again changes nothing on show; one field's new value, that field.
    EXPECT_TRUE(model.feed(T1, recordOf(1), kT0 + 2000).empty());
    TelemetryRecord r = recordOf(1);
    r.Values[kBatt] = 0.5;
    c = model.feed(T1, r, kT0 + 3000);
    EXPECT_EQ(c.values, batt);
    EXPECT_EQ(c.pass, batt);
    EXPECT_EQ(c.day, batt);
    // Back within the extremes: the value changed, no extreme did.
    c = model.feed(T1, recordOf(1), kT0 + 4000);
    EXPECT_EQ(c.values, batt);
    EXPECT_EQ(c.pass | c.day, 0U);
    // A new pass empties the T2 rows' pass columns too, and leaves the day alone.
    c = model.feed(T1, recordOf(1), kT0 + 20 * kMin);
    EXPECT_EQ(c.pass, ChangedRows::kAll);
    EXPECT_EQ(c.day, 0U);
    EXPECT_TRUE(model.pass(kRssi).empty());
    // A minute leaving the day changes the fields whose extremes it held.
    EXPECT_TRUE(model.advance(kT0 + 20 * kMin + 1000).empty());
    c = model.advance(kT0 + 24 * kHour + 1 * kMin + 1000);
    // The first minute held the T2 frame and Batt1's 0.5; the other T1 fields read 1 later too.
    EXPECT_EQ(c.day, t2 | batt);
    EXPECT_EQ(model.day(kBatt).min, 1);
    EXPECT_EQ(model.advance(kT0 + 25 * kHour).day, t1);
}

TEST(HealthModel, AReceiveTimeFarAheadOfTheClockIsNoTime)
{
    HealthModel model(battLimits());
    model.advance(kT0);
    // A mistyped UTC line an hour ahead: a value, but no pass time, no day, no age.
    model.feed(T1, recordOf(7), kT0 + kHour);
    EXPECT_EQ(model.newest(kBatt), 7);
    EXPECT_FALSE(model.newestReceived(T1));
    EXPECT_TRUE(model.day(kBatt).empty());
    // The true frames after it still make a pass and a day.
    model.feed(T1, recordOf(8), kT0 - 1000);
    model.feed(T1, recordOf(8.5), kT0 + HealthModel::kClockSlackMs); // a clock a little fast
    expectExtremes(model.pass(kBatt), 7, 8.5, "pass");
    expectExtremes(model.day(kBatt), 8, 8.5, "day");
    EXPECT_EQ(model.newestReceived(T1), kT0 + HealthModel::kClockSlackMs);
}

TEST(HealthModel, LimitsChangedLaterApplyToTheNewestValueAtOnce)
{
    HealthModel model;
    model.feed(T1, recordOf(9.5), kT0);
    EXPECT_EQ(model.state(kBatt), G);
    model.setLimits(battLimits());
    EXPECT_EQ(model.state(kBatt), R);
}

TEST(HealthModel, TheDayIsTheWindowsFramesAndTheArchivesTogether)
{
    HealthModel model;
    model.advance(kT0);
    DayExtremes archived;
    archived.add(T1, recordOf(3), kT0 - 2 * kHour);
    archived.add(T1, recordOf(4), kT0 - 25 * kHour); // before the day
    model.setArchiveDay(archived);
    model.feed(T1, recordOf(7), kT0);
    expectExtremes(model.day(kBatt), 3, 7, "both");
    // A new log in the window: the archive's part stays.
    model.clearFrames();
    expectExtremes(model.day(kBatt), 3, 3, "archive");
    EXPECT_TRUE(std::isnan(model.newest(kBatt)));
    EXPECT_FALSE(model.seen(T1));
    // The archive read again replaces what it said before.
    model.feed(T1, recordOf(7), kT0);
    model.setArchiveDay(DayExtremes());
    expectExtremes(model.day(kBatt), 7, 7, "window");
    // The clock moving on lets the archive's minutes go as it does the window's.
    model.setArchiveDay(archived);
    model.advance(kT0 + 23 * kHour);
    model.feed(T1, recordOf(8), kT0 + 23 * kHour);
    expectExtremes(model.day(kBatt), 7, 8, "moved on");
}

TEST(DayExtremes, MergeKeepsEveryMinuteOfTheLaterDay)
{
    DayExtremes a, b;
    a.add(T1, recordOf(5), kT0);
    b.add(T1, recordOf(2), kT0 + 30 * kMin);
    b.add(T1, recordOf(9), kT0 + 30 * kMin + 5000); // the same minute
    a.merge(b);
    expectExtremes(a.of(kBatt), 2, 9, "merged");
    // The merged minutes leave the day in turn.
    // The 5 of the first minute lay between the others: nothing on show changes.
    EXPECT_EQ(a.advance(kT0 + 24 * kHour), 0U);
    expectExtremes(a.of(kBatt), 2, 9, "first gone");
    EXPECT_EQ(a.advance(kT0 + 24 * kHour + 30 * kMin), (std::uint64_t{1} << kFirstT2Field) - 1);
    EXPECT_TRUE(a.of(kBatt).empty());
}

TEST(HealthModel, ElapsedText)
{
    const std::pair<std::int64_t, const char *> cases[] = {
        {-5000, "0 s"},
        {999, "0 s"},
        {59'999, "59 s"},
        {60'000, "1 min 0 s"},
        {3'599'000, "59 min 59 s"},
        {3'600'000, "1 h 0 min"},
        {86'399'000, "23 h 59 min"},
        {90'000'000, "1 d 1 h"},
    };
    for (const auto &[ms, text] : cases)
        EXPECT_EQ(elapsedText(ms), text) << ms;
}

// A T1 frame whose Batt1 Volt reads about `volts`, and what it decodes to.
std::string battFrame(double volts)
{
    std::array<std::uint16_t, 32> words{};
    words[kBatt] = loggen::rawFor(kBatt, volts);
    return loggen::makeT1Frame(words);
}
double battValue(double volts)
{
    return FieldCatalogue[kBatt].formula.apply(loggen::rawFor(kBatt, volts));
}

TEST(HealthFeed, ReadsOnlyWhatWasAddedAndEverythingAfterAnEdit)
{
    HealthModel model;
    HealthFeed feed(model);
    std::string text = "2026-12-07 10:00:00.000 UTC\n" + battFrame(7) + "\n";
    feed.update(text, 0, std::nullopt);
    EXPECT_EQ(model.newest(kBatt), battValue(7));
    const std::size_t end = text.size();
    text += "10:01 " + battFrame(8) + "\n";
    feed.update(text, end, std::nullopt);
    EXPECT_EQ(model.newest(kBatt), battValue(8));
    expectExtremes(model.pass(kBatt), battValue(7), battValue(8), "both frames");
    // "10:01" took its date from the UTC line before it.
    EXPECT_EQ(model.newestReceived(T1), *parseUtcTime("2026-12-07T10:01"));

    // The last line taken away: read again, the frame is gone from every column.
    text.resize(end);
    feed.update(text, end, std::nullopt);
    EXPECT_EQ(model.newest(kBatt), battValue(7));
    expectExtremes(model.pass(kBatt), battValue(7), battValue(7), "after the edit");
    // An edit before the end that keeps the length reads all again too.
    std::string edited = "2026-12-07 10:00:00.000 UTC\n" + battFrame(6.3) + "\n";
    ASSERT_EQ(edited.size(), text.size());
    feed.update(edited, 30, std::nullopt);
    EXPECT_EQ(model.newest(kBatt), battValue(6.3));
    expectExtremes(model.pass(kBatt), battValue(6.3), battValue(6.3), "edited");
}

TEST(HealthFeed, FramesBeyondWhatTheGridKeepsStillCount)
{
    HealthModel model;
    HealthFeed feed(model);
    std::string text;
    for (int i = 0; i <= kStoreCapacity; ++i)
        text += battFrame(7) + "\n";
    text += battFrame(8.2) + "\n";
    feed.update(text, 0, std::nullopt);
    EXPECT_EQ(model.newest(kBatt), battValue(8.2));
}

TEST(HealthFeed, FollowedFramesWithoutAStampWereReceivedWhenTheyCame)
{
    HealthModel model;
    HealthFeed feed(model);
    std::string text = battFrame(7) + "\n";
    // Read all at once, a frame without a stamp has no receive time.
    feed.update(text, 0, std::nullopt);
    EXPECT_TRUE(model.seen(T1));
    EXPECT_FALSE(model.newestReceived(T1));
    // Following: what was there is read again; only what comes now is dated now.
    feed.update(text, text.size(), kT0);
    EXPECT_FALSE(model.newestReceived(T1));
    const std::size_t end = text.size();
    text += battFrame(8) + "\n";
    feed.update(text, end, kT0 + 5000);
    EXPECT_EQ(model.newestReceived(T1), kT0 + 5000);
    // A frame on a line not ended yet counts while following, and once more when it ends.
    const std::size_t end2 = text.size();
    text += battFrame(6.2);
    feed.update(text, end2, kT0 + 6000);
    EXPECT_EQ(model.newest(kBatt), battValue(6.2));
    text += "\n";
    feed.update(text, text.size() - 1, kT0 + 7000);
    EXPECT_EQ(model.newest(kBatt), battValue(6.2));
    expectExtremes(model.pass(kBatt), battValue(6.2), battValue(8), "pass");
}

TEST(ArchiveDay, ReadsTheLastDayOfBothKinds)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "health_test_archive";
    std::filesystem::remove_all(dir);
    auto store = archive::openArchive((dir / "a.sqlite").string());
    const auto frame = [](const std::string &text, UtcMillis received) {
        archive::LoggedFrame logged;
        logged.kind = text[1] == '1' ? T1 : T2;
        logged.length = static_cast<std::uint8_t>(text.size());
        std::copy(text.begin(), text.end(), logged.text.begin());
        logged.received = received;
        return archive::decodeFrame(logged);
    };
    std::array<std::uint8_t, 48> t2{};
    const std::vector<archive::ArchiveFrame> frames = {
        frame(battFrame(7), kT0 - 2 * kHour),
        frame(battFrame(6.1), kT0 - 25 * kHour), // a day and more ago
        frame(battFrame(8.2), kT0 - 1 * kHour),
        frame(loggen::makeT2Frame(t2), kT0 - 3 * kHour),
    };
    store->add(frames, {"test", ""});
    const DayExtremes day = archiveDay(*store, kT0);
    expectExtremes(day.of(kBatt), battValue(7), battValue(8.2), "T1");
    EXPECT_FALSE(day.of(kRssi).empty());
    store.reset();
    std::filesystem::remove_all(dir);
}

} // namespace
