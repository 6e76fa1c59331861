// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Limits: the states a stream of values takes, the files refused and where
// the file is looked for.

#include "fieldlimits.h"
#include "fields.h"
#include "limittext.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace halcyra;

namespace {

constexpr int kBatt1 = 17;
constexpr int kT2Uptime = 35;

double below(double v)
{
    return std::nextafter(v, -INFINITY);
}
double above(double v)
{
    return std::nextafter(v, INFINITY);
}

// A value, and what its frame should confirm: "" nothing, "red red_low" a
// change to red across red_low.
struct LimitCase {
    const char *name;
    int field;
    std::string toml;
    std::vector<std::pair<double, std::string>> frames;
};

const std::string kAll = "red_low = 6.0\nyellow_low = 6.6\nyellow_high = 8.3\nred_high = 8.4\n";
const double kNan = std::numeric_limits<double>::quiet_NaN();

// One case to a line or two reads better than one frame to a line.
// clang-format off
const LimitCase kCases[] = {
    {"red_low alone", kBatt1, "[batt1_volt]\nred_low = 6.0",
     {{6.0, ""}, {below(6.0), "red red_low"}, {below(6.0), ""}, {6.0, "green red_low"}}},
    {"yellow_low alone", kBatt1, "[batt1_volt]\nyellow_low = 6.6",
     {{6.6, ""}, {below(6.6), "yellow yellow_low"}, {-1e300, ""}, {6.6, "green yellow_low"}}},
    {"yellow_high alone", kBatt1, "[batt1_volt]\nyellow_high = 8.3",
     {{8.3, ""}, {above(8.3), "yellow yellow_high"}, {1e300, ""}, {8.3, "green yellow_high"}}},
    {"red_high alone, a whole number", kBatt1, "[batt1_volt]\nred_high = 8",
     {{8.0, ""}, {above(8.0), "red red_high"}, {8.0, "green red_high"}}},
    {"all four, each way", kBatt1, "[batt1_volt]\n" + kAll,
     {{7.4, ""}, {6.5, "yellow yellow_low"}, {5.9, "red red_low"}, {6.5, "yellow red_low"},
      {7.4, "green yellow_low"}, {8.5, "red red_high"}, {7.4, "green red_high"}, {8.35, "yellow yellow_high"},
      {8.5, "red red_high"}, {8.35, "yellow red_high"}, {6.5, ""}, {8.35, ""}, {7.4, "green yellow_high"}}},
    {"red equal to yellow: no yellow band", kBatt1, "[batt1_volt]\nred_low = 6.0\nyellow_low = 6.0",
     {{6.0, ""}, {below(6.0), "red red_low"}}},
    {"yellow low equal to high: one green value", kBatt1, "[batt1_volt]\nyellow_low = 7\nyellow_high = 7",
     {{7.0, ""}, {above(7.0), "yellow yellow_high"}, {below(7.0), ""}, {7.0, "green yellow_low"}}},
    {"a yellow state on a side with only a red bound", kBatt1,
     "[batt1_volt]\nred_low = 6.0\nyellow_high = 8.3\nred_high = 8.4\npersistence = 2",
     {{8.35, ""}, {5.0, "yellow red_low"}, {5.0, "red red_low"}}},
    {"persistence: a run, broken, and a run", kBatt1, "[batt1_volt]\nred_high = 8.4\npersistence = 3",
     {{8.5, ""}, {8.5, ""}, {8.0, ""}, {8.5, ""}, {8.5, ""}, {8.5, "red red_high"}, {8.0, ""}, {8.0, ""}, {8.5, ""},
      {8.0, ""}, {8.0, ""}, {8.0, "green red_high"}}},
    {"persistence: red frames count towards yellow", kBatt1, "[batt1_volt]\npersistence = 2\n" + kAll,
     {{5.0, ""}, {6.5, "yellow yellow_low"}, {5.0, ""}, {6.5, ""}, {5.0, ""}, {5.0, "red red_low"}}},
    {"persistence: red, yellow, red stays red", kBatt1, "[batt1_volt]\npersistence = 2\n" + kAll,
     {{8.5, ""}, {8.5, "red red_high"}, {8.35, ""}, {8.5, ""}, {8.35, ""}, {8.35, "yellow red_high"}, {7.0, ""},
      {7.0, "green yellow_high"}}},
    {"persistence: from red straight to green", kBatt1, "[batt1_volt]\npersistence = 2\n" + kAll,
     {{1.0, ""}, {1.0, "red red_low"}, {7.0, ""}, {7.0, "green red_low"}}},
    {"a NaN neither counts nor breaks a run", kBatt1, "[batt1_volt]\nred_low = 6.0\npersistence = 2",
     {{5.0, ""}, {kNan, ""}, {5.0, "red red_low"}, {kNan, ""}, {7.0, ""}}},
    {"a disabled field", kBatt1, "[batt1_volt]\nred_low = 6.0\nenabled = false",
     {{1.0, ""}, {1.0, ""}}},
    {"a T2 field named with its kind", kT2Uptime, "[t2.uptime]\nred_high = 30",
     {{31.0, "red red_high"}, {29.0, "green red_high"}}},
};
// clang-format on

// Each value arrives in a frame of the field's kind, after a frame of the other
// kind that holds it too and must change nothing.
TEST(Limits, StatesOfAStreamOfValues)
{
    for (const LimitCase &c : kCases) {
        SCOPED_TRACE(c.name);
        const Limits limits = Limits::fromText(c.toml, "case.toml");
        LimitEvaluator evaluator(limits);
        const FrameKind own = storeOf(c.field), other = own == FrameKind::T1 ? FrameKind::T2 : FrameKind::T1;
        LimitState state = LimitState::Green;
        for (std::size_t n = 0; n < c.frames.size(); ++n) {
            const auto &[value, expect] = c.frames[n];
            SCOPED_TRACE("frame " + std::to_string(n + 1));
            TelemetryRecord record;
            record.Values.fill(value);
            EXPECT_TRUE(evaluator.feed(other, record).empty());
            record.Values.fill(7.0);
            record.Values[static_cast<std::size_t>(c.field)] = value;
            const auto changes = evaluator.feed(own, record);
            ASSERT_EQ(changes.size(), expect.empty() ? 0U : 1U);
            if (!expect.empty()) {
                const LimitChange &change = changes[0];
                EXPECT_EQ(change.field, c.field);
                EXPECT_EQ(std::string(limitStateName(change.state)) + " " + std::string(limitBoundName(change.bound)),
                          expect);
                EXPECT_EQ(change.previous, state);
                EXPECT_EQ(change.limit, limits.field(c.field).bound(change.bound));
                EXPECT_EQ(change.value, value);
                state = change.state;
            }
            EXPECT_EQ(evaluator.state(c.field), state);
            // Without persistence a stream's state is the newest value's own.
            if (limits.field(c.field).persistence == 1 && !std::isnan(value)) {
                EXPECT_EQ(valueState(limits.field(c.field), value), state);
            }
        }
        evaluator.reset();
        EXPECT_EQ(evaluator.state(c.field), LimitState::Green);
    }
}

TEST(Limits, ChangesAndBoundsInWords)
{
    const Limits limits = Limits::fromText(
        "[batt1_volt]\npersistence = 3\n" + kAll + "[t2.uptime]\nred_high = 30\nenabled = false\n", "words.toml");
    EXPECT_EQ(limitsText(limits.field(kBatt1)),
              "red below 6, yellow below 6.6, yellow above 8.3, red above 8.4; 3 frames in a row");
    EXPECT_EQ(limitsText(limits.field(kT2Uptime)), "limits off (red above 30)");
    EXPECT_EQ(limitsText(limits.field(0)), "no limits");
    EXPECT_EQ(limitsFieldName(kT2Uptime), "t2.uptime");
    EXPECT_EQ(limitsFieldName(kBatt1), "batt1_volt");

    const auto text = [](LimitState previous, LimitState state, LimitBound bound, double value, double limit) {
        return limitChangeText({kBatt1, value, state, previous, bound, limit});
    };
    EXPECT_EQ(text(LimitState::Green, LimitState::Red, LimitBound::RedLow, 5.98, 6),
              "batt1_volt 5.98 red, below red_low 6");
    EXPECT_EQ(text(LimitState::Red, LimitState::Yellow, LimitBound::RedHigh, 8.35, 8.4),
              "batt1_volt 8.35 yellow, back below red_high 8.4");
    EXPECT_EQ(text(LimitState::Yellow, LimitState::Green, LimitBound::YellowLow, 6.7, 6.6),
              "batt1_volt 6.7 green, back above yellow_low 6.6");
}

TEST(Limits, EveryFieldIsReportedInOneFrame)
{
    std::string toml;
    for (const char *column : {"t1.uptime", "batt1_volt", "ems_temp", "t2.uptime", "comm2_tx_cnt"})
        toml += std::string("[") + column + "]\nred_high = 10\n";
    LimitEvaluator evaluator(Limits::fromText(toml, "all"));
    TelemetryRecord record;
    record.Values.fill(11);
    std::vector<int> fields;
    for (const FrameKind kind : {FrameKind::T1, FrameKind::T2})
        for (const LimitChange &change : evaluator.feed(kind, record))
            fields.push_back(change.field);
    EXPECT_EQ(fields, (std::vector<int>{0, 17, 27, 35, 44}));
}

struct Refusal {
    const char *name;
    const char *toml;
    int line, column;
    const char *reason; // a part of it
};

const Refusal kRefusals[] = {
    {"syntax", "[batt1_volt\nred_low = 6.0", 1, 12, "expected ']'"},
    {"a table twice", "[batt1_volt]\n[batt1_volt]", 2, 1, "redefine"},
    {"unknown field", "# limits\n[batt1_volts]\nred_low = 6.0", 2, 2, "unknown field 'batt1_volts'"},
    {"a field of the other kind", "[t2.batt1_volt]", 1, 5, "unknown field 't2.batt1_volt'"},
    {"a column of both kinds", "[uptime]\nred_high = 30", 1, 2, "name the table [t1.uptime] or [t2.uptime]"},
    {"one field named twice", "[batt1_volt]\n[t1.batt1_volt]", 2, 5, "names batt1_volt a second time"},
    {"one field named twice, the other way", "[t1.batt1_volt]\n[batt1_volt]", 2, 2, "[batt1_volt] names batt1_volt"},
    {"a value for a table", "batt1_volt = 6.0", 1, 1, "must be a table"},
    {"unknown key", "[batt1_volt]\n  red_lo = 6.0", 2, 3, "unknown key 'red_lo' in [batt1_volt]"},
    {"red_low inside yellow_low", "[batt1_volt]\nyellow_low = 6.0\nred_low = 6.5", 2, 1,
     "yellow_low 6 of [batt1_volt] is below red_low 6.5"},
    {"red_high inside yellow_high", "[batt1_volt]\nyellow_high = 8.4\nred_high = 8.3", 3, 1, "red_high 8.3"},
    {"low above high", "[batt1_volt]\nyellow_low = 8\nyellow_high = 7", 3, 1, "yellow_high 7"},
    {"a red low above a yellow high", "[batt1_volt]\nred_low = 9\nyellow_high = 8.5", 3, 1, "below red_low 9"},
    {"a text for a bound", "[batt1_volt]\nred_low = \"6.0\"", 2, 11, "red_low of [batt1_volt] must be a number"},
    {"nan for a bound", "[batt1_volt]\nred_high = nan", 2, 12, "must be a finite number"},
    {"persistence 0", "[batt1_volt]\npersistence = 0", 2, 15, "whole number of frames from 1"},
    {"persistence a fraction", "[batt1_volt]\npersistence = 1.5", 2, 15, "whole number"},
    {"persistence beyond reason", "[batt1_volt]\npersistence = 1_000_001", 2, 15, "to 1000000"},
    {"enabled not a boolean", "[batt1_volt]\nenabled = 1", 2, 11, "true or false"},
    {"the first fault in the file, whatever the order of keys",
     "[z_cells_volt]\nred_lo = 1\n[batt1_volt]\nred_low = 'x'", 2, 1, "unknown key 'red_lo'"},
};

TEST(Limits, FaultyFilesAreRefusedWithTheirPlace)
{
    for (const Refusal &r : kRefusals) {
        SCOPED_TRACE(r.name);
        try {
            Limits::fromText(r.toml, "bad.toml");
            ADD_FAILURE() << "accepted";
        } catch (const LimitsError &e) {
            EXPECT_EQ(e.line(), r.line) << e.what();
            EXPECT_EQ(e.column(), r.column) << e.what();
            EXPECT_NE(e.reason().find(r.reason), std::string::npos) << e.what();
            const std::string place = "bad.toml:" + std::to_string(r.line) + ":" + std::to_string(r.column) + ": ";
            EXPECT_EQ(std::string(e.what()).rfind(place, 0), 0U) << e.what();
        }
    }
}

TEST(Limits, TheExampleFileLoads)
{
    const Limits limits = Limits::fromFile(HALCYRA_DATA_DIR "/limits.example.toml");
    EXPECT_EQ(limits.field(kBatt1).bound(LimitBound::RedLow), 6.0);
    EXPECT_EQ(limits.field(kBatt1).persistence, 3U);
    EXPECT_FALSE(limits.field(37).active()); // comm1_temp1, disabled
    EXPECT_TRUE(limits.anyActive());
    EXPECT_FALSE(Limits().anyActive());
}

using LimitsFileTest = test::FolderTest;

TEST_F(LimitsFileTest, FilesThatCannotBeLimitsAreRefusedWithTheirName)
{
    const auto refusal = [](const std::string &path) {
        try {
            Limits::fromFile(path);
        } catch (const LimitsError &e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(refusal(at("missing.toml")), at("missing.toml") + ": cannot be read: No such file or directory");
    EXPECT_EQ(refusal(dir), dir + ": is a folder, not a limits file");
    test::writeFile(at("huge.toml"), std::string(kLimitsFileSizeLimit + 1, '#'));
    EXPECT_EQ(refusal(at("huge.toml")), at("huge.toml") + ": is larger than 1 MiB, far beyond any limits file");
    test::writeFile(at("bad.toml"), "[batt1_volt]\nred_low = true\n");
    EXPECT_EQ(refusal(at("bad.toml")), at("bad.toml") + ":2:11: red_low of [batt1_volt] must be a number");
}

TEST_F(LimitsFileTest, TheFileThatAppliesIsTheFirstFound)
{
    const std::string xdg = at("xdg"), home = at("home"), system = at("etc/limits.toml");
    const std::string xdgFile = xdg + "/halcyra/limits.toml", homeFile = home + "/.config/halcyra/limits.toml";
    const std::optional<std::string> none;
    EXPECT_EQ(limitsFilePath(none, xdg.c_str(), home.c_str(), system), std::nullopt);
    for (const std::string &file : {system, homeFile, xdgFile}) {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        test::writeFile(file, "");
    }
    EXPECT_EQ(limitsFilePath(std::string("/named/in/conf.toml"), xdg.c_str(), home.c_str(), system),
              "/named/in/conf.toml");
    EXPECT_EQ(limitsFilePath(std::string(), xdg.c_str(), home.c_str(), system), xdgFile);
    EXPECT_EQ(limitsFilePath(none, "relative/xdg", home.c_str(), system), homeFile);
    EXPECT_EQ(limitsFilePath(none, nullptr, home.c_str(), system), homeFile);
    EXPECT_EQ(limitsFilePath(none, nullptr, nullptr, system), system);
    std::filesystem::remove(xdgFile);
    EXPECT_EQ(limitsFilePath(none, xdg.c_str(), home.c_str(), system), system);
}

} // namespace
