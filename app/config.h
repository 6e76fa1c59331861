// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// What conf.ini sets; an absent key leaves the program's default.
struct StartupConfig {
    std::optional<std::string> imagePath; // IMAGE_PATH, used exactly as written
    std::optional<bool> screenshotButton; // SCREENSHOT: true only for "YES"
    std::optional<std::string> archive;   // ARCHIVE, as written; empty: the default archive
    std::optional<std::string> station;   // STATION, as written; see archive::stationName()
    std::optional<std::string> limits;    // LIMITS: the limits file, as written
};

// "#" in the first column starts a comment; other lines are KEY = VALUE, split
// at the first "=", key and value trimmed of spaces (not tabs), keys in any
// case, the last occurrence of a key wins. Lines end at CR LF, LF or CR.
StartupConfig parseConfig(std::string_view text);

// Far beyond any real conf.ini; a larger file is ignored whole.
inline constexpr std::int64_t kConfigSizeLimit = 4 << 20;

// Reads and parses the conf.ini at `path`. A file that is missing, cannot be
// read or is larger than kConfigSizeLimit leaves every default.
StartupConfig readConfigFile(const std::string &path);

} // namespace halcyra
