// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// conf.ini on arbitrary bytes, against a reader written the slow way.

#include "archive.h"
#include "check.h"
#include "config.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string trimmed(const std::string &s)
{
    std::size_t from = 0;
    std::size_t to = s.size();
    while (from < to && s[from] == ' ')
        ++from;
    while (to > from && s[to - 1] == ' ')
        --to;
    return s.substr(from, to - from);
}

std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

halcyra::StartupConfig referenceConfig(std::string_view text)
{
    halcyra::StartupConfig config;
    for (const std::string &line : splitLines(text)) {
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = upper(trimmed(line.substr(0, eq)));
        const std::string value = trimmed(line.substr(eq + 1));
        if (key == "IMAGE_PATH")
            config.imagePath = value;
        else if (key == "SCREENSHOT")
            config.screenshotButton = upper(value) == "YES";
        else if (key == "ARCHIVE")
            config.archive = value;
        else if (key == "STATION")
            config.station = value;
    }
    return config;
}

bool same(const halcyra::StartupConfig &a, const halcyra::StartupConfig &b)
{
    return a.imagePath == b.imagePath && a.screenshotButton == b.screenshotButton && a.archive == b.archive &&
           a.station == b.station;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const halcyra::StartupConfig config = halcyra::parseConfig(text);
    FUZZ_CHECK(same(config, referenceConfig(text)));

    if (config.imagePath) {
        const std::string &path = *config.imagePath;
        FUZZ_CHECK(path.find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(path.empty() || (path.front() != ' ' && path.back() != ' '));
    }

    // A station name taken holds no control character and no blank at either
    // end, and is taken again as it is.
    const halcyra::archive::StationName station = halcyra::archive::stationName(text);
    if (station.error.empty()) {
        for (const char c : station.name)
            FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
        FUZZ_CHECK(station.name.empty() || (station.name.front() != ' ' && station.name.back() != ' '));
        FUZZ_CHECK(halcyra::archive::stationName(station.name).name == station.name);
    } else {
        FUZZ_CHECK(station.name.empty());
    }

    // The last occurrence of a key wins, so a file written twice reads as once.
    const std::string twice = std::string(text) + "\n" + std::string(text);
    FUZZ_CHECK(same(halcyra::parseConfig(twice), config));
    return 0;
}
