// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "config.h"

#include "keyvalue.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

StartupConfig parseConfig(std::string_view text)
{
    StartupConfig config;
    forEachSetting(
        text,
        [&](std::size_t, std::string_view key, std::string_view value) {
            if (equalsUpper(key, "IMAGE_PATH"))
                config.imagePath = std::string(value);
            else if (equalsUpper(key, "SCREENSHOT"))
                config.screenshotButton = equalsUpper(value, "YES");
            else if (equalsUpper(key, "ARCHIVE"))
                config.archive = std::string(value);
            else if (equalsUpper(key, "STATION"))
                config.station = std::string(value);
            else if (equalsUpper(key, "LIMITS"))
                config.limits = std::string(value);
        },
        [](std::size_t, std::string_view) {}); // conf.ini has always passed over other lines
    return config;
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
