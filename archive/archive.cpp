// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archive.h"

#include "pgarchive.h"
#include "sqlitearchive.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace halcyra::archive {

std::unique_ptr<Archive> openArchive(const std::string &location, const OpenOptions &options)
{
    if (location.empty())
        throw ArchiveError(ArchiveError::Reason::Missing,
                           "no archive named, and no home folder (HOME) to keep the default one in");
    if (isServerLocation(location))
        return openPostgresArchive(location, options);
    if (location.find("://") != std::string::npos)
        throw ArchiveError(ArchiveError::Reason::Failed,
                           displayLocation(location) +
                               ": this program keeps archives in files and on PostgreSQL servers "
                               "(postgresql://user@host:port/dbname) only");
    return openSqliteArchive(location, options);
}

namespace {

// The parts of scheme://[user[:password]@]host[/dbname][?parameters], as
// libpq reads them: the user part ends at the first "@" before any "/".
struct UriParts {
    std::size_t authority = 0;          // after "://"
    std::size_t at = std::string::npos; // the "@" after the user part
    std::size_t passwordColon = std::string::npos;
    std::size_t path = 0;  // the "/" before dbname, or the end of the host part
    std::size_t query = 0; // the "?", or the end
};

std::optional<UriParts> uriParts(std::string_view uri)
{
    const std::size_t scheme = uri.find("://");
    if (scheme == std::string_view::npos)
        return std::nullopt;
    UriParts parts;
    parts.authority = scheme + 3;
    parts.query = std::min(uri.find('?', parts.authority), uri.size());
    const std::size_t slash = std::min(uri.find('/', parts.authority), parts.query);
    const std::size_t at = uri.find('@', parts.authority);
    if (at < slash) {
        parts.at = at;
        const std::size_t colon = uri.find(':', parts.authority);
        if (colon < at)
            parts.passwordColon = colon;
    }
    parts.path = slash;
    return parts;
}

std::size_t serverUriStart(std::string_view text)
{
    for (const std::string_view scheme : {"postgresql://", "postgres://"}) {
        if (const std::size_t at = text.find(scheme); at != std::string_view::npos)
            return at;
    }
    return std::string_view::npos;
}

} // namespace

bool isServerLocation(std::string_view location)
{
    return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::string displayLocation(std::string_view location)
{
    if (location.find("://") == std::string_view::npos)
        return std::string(location);
    const std::optional<UriParts> parts = uriParts(location);
    std::string shown(location.substr(0, parts->authority));
    if (parts->at != std::string::npos) {
        const std::size_t userEnd = parts->passwordColon != std::string::npos ? parts->passwordColon : parts->at;
        shown += location.substr(parts->authority, userEnd - parts->authority);
        shown += '@';
        shown += location.substr(parts->at + 1, parts->query - parts->at - 1);
    } else {
        shown += location.substr(parts->authority, parts->query - parts->authority);
    }
    return shown;
}

void concealPasswords(int argc, char **argv)
{
    for (int i = 0; i < argc; ++i) {
        char *arg = argv[i];
        const std::size_t start = serverUriStart(arg);
        if (start == std::string_view::npos)
            continue;
        char *uri = arg + start;
        const std::size_t length = std::strlen(uri);
        const std::optional<UriParts> parts = uriParts(std::string_view(uri, length));
        if (parts->passwordColon != std::string::npos)
            std::memset(uri + parts->passwordColon + 1, '*', parts->at - parts->passwordColon - 1);
        // password=... and sslpassword=... among the parameters
        for (std::size_t p = parts->query; p < length;) {
            const std::size_t end = std::min(std::string_view(uri, length).find('&', p + 1), length);
            const std::string_view parameter(uri + p + 1, end - p - 1);
            for (const std::string_view key : {"password=", "sslpassword="}) {
                if (parameter.starts_with(key))
                    std::memset(uri + p + 1 + key.size(), '*', parameter.size() - key.size());
            }
            p = end;
        }
    }
}

ConcealedArguments::ConcealedArguments(int argc, char **argv) : copies_(argv, argv + argc)
{
    for (std::string &a : copies_)
        pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
    concealPasswords(argc, argv);
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

} // namespace halcyra::archive
