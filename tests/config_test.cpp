// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "config.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include <unistd.h>

using halcyra::parseConfig;

namespace {

struct ScreenshotCase {
    const char *text;
    std::optional<bool> shown;
};

void PrintTo(const ScreenshotCase &c, std::ostream *os)
{
    *os << ::testing::PrintToString(std::string(c.text));
}

class ScreenshotKey : public ::testing::TestWithParam<ScreenshotCase> {};

TEST_P(ScreenshotKey, ShowsTheButtonOnlyForYes)
{
    EXPECT_EQ(parseConfig(GetParam().text).screenshotButton, GetParam().shown) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, ScreenshotKey,
                         ::testing::Values(ScreenshotCase{"", std::nullopt},
                                           ScreenshotCase{"screenshot = yes\r\n", true},
                                           ScreenshotCase{"SCREENSHOT=YES", true},
                                           ScreenshotCase{"SCREENSHOT=no", false}, ScreenshotCase{"SCREENSHOT=", false},
                                           ScreenshotCase{"SCREENSHOT=YES please", false},
                                           ScreenshotCase{"SCREENSHOT=YES\nSCREENSHOT=NO\n", false}, // last wins
                                           ScreenshotCase{"SCREENSHOT\t=YES", std::nullopt}, // a tab is part of the key
                                           ScreenshotCase{"#SCREENSHOT=NO", std::nullopt},
                                           ScreenshotCase{" #SCREENSHOT=NO", std::nullopt}, // key "#SCREENSHOT"
                                           ScreenshotCase{"SCREENSHOT=NO\nSCREENSHOT\n", false},
                                           ScreenshotCase{"SCREENSHOT=NO\rSCREENSHOT=YES\r", true}));

TEST(PathKeys, KeepTheValueAsWritten)
{
    EXPECT_EQ(parseConfig("image_path = /home/ham/Shots/ \r\n").imagePath, "/home/ham/Shots/");
    EXPECT_EQ(parseConfig("IMAGE_PATH=/srv/a=b/").imagePath, "/srv/a=b/"); // split at the first "="
    EXPECT_EQ(parseConfig("IMAGE_PATH=").imagePath, "");
    EXPECT_EQ(parseConfig("# IMAGE_PATH=/x/\nOTHER=1\nIMAGE_PATH").imagePath, std::nullopt);
    EXPECT_EQ(parseConfig("Archive = /srv/pass archive.sqlite \r\n").archive, "/srv/pass archive.sqlite");
}

TEST(ConfigFile, IsReadToTheEndUpToTheSizeLimit)
{
    std::string path = ::testing::TempDir() + "halcyra-conf-XXXXXX";
    ASSERT_EQ(::close(::mkstemp(path.data())), 0);
    const auto screenshotIn = [&](const std::string &text) {
        std::ofstream(path, std::ios::binary) << text;
        return halcyra::readConfigFile(path).screenshotButton;
    };
    EXPECT_EQ(screenshotIn(std::string(1 << 20, '=') + "\nSCREENSHOT=NO\n"), false);
    EXPECT_EQ(screenshotIn("SCREENSHOT=NO\n" + std::string(5 << 20, '#')), std::nullopt); // ignored whole
    std::remove(path.c_str());
    EXPECT_EQ(halcyra::readConfigFile(path).screenshotButton, std::nullopt);
}

} // namespace
