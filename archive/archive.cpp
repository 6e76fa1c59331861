// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archive.h"

#include "keyvalue.h"
#include "pgarchive.h"
#include "sqlitearchive.h"

#include <algorithm>
#include <string>

#include <cstdlib>

namespace halcyra::archive {

std::unique_ptr<Archive> openArchive(const std::string &location, const OpenOptions &options)
{
    if (location.empty())
        throw ArchiveError(ArchiveError::Reason::Missing,
                           "no archive named, and no home folder (HOME) to keep the default one in");
    if (backendOf(location) == Backend::Server)
        return openPostgresArchive(location, options);
    if (backendOf(location) == Backend::Unsupported)
        throw ArchiveError(ArchiveError::Reason::Failed,
                           displayLocation(location) +
                               ": this program keeps archives in files and on PostgreSQL servers "
                               "(postgresql://user@host:port/dbname) only");
    return openSqliteArchive(location, options);
}

std::unique_ptr<Archive> openArchiveToRead(const std::string &location, std::chrono::milliseconds busyTimeout)
{
    OpenOptions options;
    options.create = false;
    options.readOnly = true;
    options.busyTimeout = busyTimeout;
    return openArchive(location, options);
}

std::string reversedRangeError(const TimeRange &range)
{
    if (range.since && range.until && *range.since >= *range.until)
        return "--until must come after --since";
    return {};
}

std::string defaultArchiveLocation()
{
    // A relative XDG_DATA_HOME is to be ignored, as an unset one is.
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        return std::string(dataHome) + "/halcyra/archive.sqlite";
    const char *home = std::getenv("HOME");
    if (!home || !home[0])
        return {};
    return std::string(home) + "/.local/share/halcyra/archive.sqlite";
}

StationName stationName(std::string_view text)
{
    const std::string_view name = halcyra::trimSpaces(text);
    if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return {{}, "A station name cannot hold a tab, a line end or another control character."};
    // Characters, not bytes: a continuation byte of UTF-8 starts none.
    const auto characters =
        std::count_if(name.begin(), name.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    if (static_cast<std::size_t>(characters) > kStationNameLimit)
        return {{}, "A station name has at most " + std::to_string(kStationNameLimit) + " characters."};
    return {std::string(name), {}};
}

} // namespace halcyra::archive
