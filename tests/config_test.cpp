// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archive.h"
#include "config.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <unistd.h>

using namespace halcyra;

namespace {

TEST(ConfigText, KeysAndValues)
{
    const struct {
        const char *text;
        std::optional<bool> button;
        std::optional<std::string> imagePath;
    } cases[] = {
        {"screenshot = yes\r\nimage_path = /home/Ham/a=b/ \r\n", true, "/home/Ham/a=b/"}, // split at the first "="
        {"SCREENSHOT=YES please\rIMAGE_PATH=", false, ""}, // only YES shows the button; CR ends a line
        // The last one wins, and a tab is part of the key; a comment sets nothing.
        {"SCREENSHOT=YES\nSCREENSHOT=NO\nSCREENSHOT\t=YES\n# IMAGE_PATH=/x/", false, std::nullopt},
    };
    for (const auto &c : cases) {
        const StartupConfig config = parseConfig(c.text);
        EXPECT_EQ(config.screenshotButton, c.button) << c.text;
        EXPECT_EQ(config.imagePath, c.imagePath) << c.text;
    }
    EXPECT_EQ(parseConfig("Archive = /srv/pass archive.sqlite \r\n").archive, "/srv/pass archive.sqlite");
    EXPECT_EQ(parseConfig("station =  QZ7ZQ Club \r\n").station, "QZ7ZQ Club");
}

TEST(ConfigText, StationNames)
{
    const std::string limit(archive::kStationNameLimit, 'a');
    const std::string umlauts = [] {
        std::string s;
        for (std::size_t i = 0; i < archive::kStationNameLimit; ++i)
            s += "\xC3\xA4"; // characters, not bytes, are counted
        return s;
    }();
    const struct {
        std::string text;
        std::string name; // empty: none, or refused when `refused`
        bool refused;
    } cases[] = {
        {"  DK0XX Hamburg ", "DK0XX Hamburg", false},
        {"   ", "", false}, // blanks only: no station
        {limit, limit, false},
        {umlauts, umlauts, false},
        {limit + "b", "", true},
        {"DK0XX\tclub", "", true},
        {"\tDK0XX", "", true}, // only spaces are blanks that go
        {"DK0XX\r\n", "", true},
        {"DK0XX\x7F", "", true},
    };
    for (const auto &c : cases) {
        const archive::StationName s = archive::stationName(c.text);
        EXPECT_EQ(s.name, c.name) << c.text;
        EXPECT_EQ(s.error.empty(), !c.refused) << c.text << ": " << s.error;
    }
}

TEST(ConfigFile, IsReadToTheEndUpToTheSizeLimit)
{
    std::string path = ::testing::TempDir() + "halcyra-conf-XXXXXX";
    ASSERT_EQ(::close(::mkstemp(path.data())), 0);
    const auto screenshotIn = [&](const std::string &text) {
        std::ofstream(path, std::ios::binary) << text;
        return readConfigFile(path).screenshotButton;
    };
    EXPECT_EQ(screenshotIn(std::string(1 << 20, '=') + "\nSCREENSHOT=NO\n"), false);
    EXPECT_EQ(screenshotIn("SCREENSHOT=NO\n" + std::string(5 << 20, '#')), std::nullopt); // ignored whole
    std::remove(path.c_str());
    EXPECT_EQ(readConfigFile(path).screenshotButton, std::nullopt);
}

} // namespace
