// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "config.h"

#include "parser.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

std::string_view trimSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool equalsUpper(std::string_view text, std::string_view upper)
{
    return text.size() == upper.size() && std::equal(text.begin(), text.end(), upper.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
}

} // namespace

StartupConfig parseConfig(std::string_view text)
{
    StartupConfig config;
    forEachLine(text, [&](std::string_view line) {
        if (line.empty() || line.front() == '#')
            return;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return;
        const std::string_view key = trimSpaces(line.substr(0, eq));
        const std::string_view value = trimSpaces(line.substr(eq + 1));
        if (equalsUpper(key, "IMAGE_PATH"))
            config.imagePath = std::string(value);
        else if (equalsUpper(key, "SCREENSHOT"))
            config.screenshotButton = equalsUpper(value, "YES");
        else if (equalsUpper(key, "ARCHIVE"))
            config.archive = std::string(value);
        else if (equalsUpper(key, "STATION"))
            config.station = std::string(value);
    });
    return config;
}

StationName stationName(std::string_view text)
{
    const std::string_view name = trimSpaces(text);
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return {{}, "A station name cannot hold a tab, a line end or another control character."};
    // Characters, not bytes: a continuation byte of UTF-8 starts none.
    const auto characters =
        std::count_if(name.begin(), name.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    if (static_cast<std::size_t>(characters) > kStationNameLimit)
        return {{}, "A station name has at most " + std::to_string(kStationNameLimit) + " characters."};
    return {std::string(name), {}};
}

StartupConfig readConfigFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode) && st.st_size <= kConfigSizeLimit) {
        // Read to the end rather than to the size seen: a pseudo-file reports
        // none, and a file growing meanwhile is cut at the limit.
        const auto limit = static_cast<std::size_t>(kConfigSizeLimit);
        std::array<char, 64 * 1024> chunk;
        while (text.size() < limit) {
            const ssize_t got = ::read(fd, chunk.data(), std::min(chunk.size(), limit - text.size()));
            if (got > 0)
                text.append(chunk.data(), static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                break;
        }
    }
    ::close(fd);
    return parseConfig(text);
}

} // namespace halcyra
