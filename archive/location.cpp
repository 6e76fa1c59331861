// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "location.h"

#include "schema.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra::archive {

namespace {

constexpr std::string_view kServerSchemes[] = {"postgresql://", "postgres://"};

// The parts of scheme://[user[:password]@]host[/dbname][?parameters]. A
// password should have its '/', '@' and '?' %-encoded, but people paste the
// ones their server gave them: the user part ends at the last '@', so that
// whatever of such a password the server's parser would take for the host
// or the database is still hidden. A '@' among the parameters makes more
// of the address count as password: hidden too much rather than shown.
struct UriParts {
    std::size_t authority = 0;          // after "://"
    std::size_t at = std::string::npos; // the '@' after the user part
    std::size_t passwordColon = std::string::npos;
    std::size_t query = 0; // the '?' of the parameters, or the end
};

std::optional<UriParts> uriParts(std::string_view uri)
{
    const std::size_t scheme = uri.find("://");
    if (scheme == std::string_view::npos)
        return std::nullopt;
    UriParts parts;
    parts.authority = scheme + 3;
    const std::size_t at = uri.rfind('@');
    std::size_t hostStart = parts.authority;
    if (at != std::string_view::npos && at >= parts.authority) {
        parts.at = at;
        hostStart = at + 1;
        const std::size_t colon = uri.find(':', parts.authority);
        if (colon < at)
            parts.passwordColon = colon;
    }
    parts.query = std::min(uri.find('?', hostStart), uri.size());
    return parts;
}

// Where the next server URI in `text` starts and ends (at a blank or the end).
std::optional<std::pair<std::size_t, std::size_t>> nextServerUri(std::string_view text, std::size_t from)
{
    std::size_t start = std::string_view::npos;
    for (const std::string_view scheme : kServerSchemes)
        start = std::min(start, text.find(scheme, from));
    if (start == std::string_view::npos)
        return std::nullopt;
    const std::size_t end = std::min(text.find_first_of(" \t\r\n", start), text.size());
    return std::pair{start, end};
}

void hide(std::string &text, std::size_t from, std::size_t to)
{
    std::fill(text.begin() + static_cast<std::ptrdiff_t>(from), text.begin() + static_cast<std::ptrdiff_t>(to), '*');
}

// Hides the password of the URI at text[start, end).
void concealUri(std::string &text, std::size_t start, std::size_t end)
{
    const std::string_view uri = std::string_view(text).substr(start, end - start);
    const UriParts parts = *uriParts(uri);
    if (parts.passwordColon != std::string::npos)
        hide(text, start + parts.passwordColon + 1, start + parts.at);
    for (std::size_t p = parts.query; p < uri.size();) {
        const std::size_t next = std::min(uri.find('&', p + 1), uri.size());
        const std::string_view parameter = uri.substr(p + 1, next - p - 1);
        for (const std::string_view key : {"password=", "sslpassword="}) {
            if (parameter.starts_with(key))
                hide(text, start + p + 1 + key.size(), start + next);
        }
        p = next;
    }
}

} // namespace

Backend backendOf(std::string_view location)
{
    for (const std::string_view scheme : kServerSchemes) {
        if (location.starts_with(scheme))
            return Backend::Server;
    }
    return location.find("://") == std::string_view::npos ? Backend::File : Backend::Unsupported;
}

std::string displayLocation(std::string_view location)
{
    const std::optional<UriParts> parts = uriParts(location);
    if (!parts)
        return std::string(location);
    std::string shown(location.substr(0, parts->authority));
    std::size_t host = parts->authority;
    if (parts->at != std::string::npos) {
        const std::size_t userEnd = std::min(parts->passwordColon, parts->at);
        shown += location.substr(parts->authority, userEnd - parts->authority);
        shown += '@';
        host = parts->at + 1;
    }
    shown += location.substr(host, parts->query - host);
    return shown;
}

std::string concealPasswords(std::string_view text)
{
    std::string concealed(text);
    for (auto uri = nextServerUri(concealed, 0); uri; uri = nextServerUri(concealed, uri->second))
        concealUri(concealed, uri->first, uri->second);
    return concealed;
}

std::vector<std::string> passwordTexts(std::string_view location)
{
    if (!isServerLocation(location))
        return {};
    const UriParts parts = *uriParts(location);
    if (parts.passwordColon == std::string::npos)
        return {};
    const std::string_view password = location.substr(parts.passwordColon + 1, parts.at - parts.passwordColon - 1);
    std::vector<std::string> texts{std::string(password)};
    for (std::size_t p = 0; p < password.size();) {
        const std::size_t next = std::min(password.find_first_of("/@?%&:,", p), password.size());
        if (next > p && next - p < password.size())
            texts.emplace_back(password.substr(p, next - p));
        p = next + 1;
    }
    return texts;
}

void concealPasswords(int argc, char **argv)
{
    for (int i = 0; i < argc; ++i) {
        // Same length: the argument is overwritten where the process list reads it.
        const std::string concealed = concealPasswords(argv[i]);
        std::memcpy(argv[i], concealed.data(), concealed.size());
    }
}

ConcealedArguments::ConcealedArguments(int argc, char **argv) : copies_(argv, argv + argc)
{
    for (std::string &a : copies_)
        pointers_.push_back(a.data());
    pointers_.push_back(nullptr);
    concealPasswords(argc, argv);
}

bool namesArchive(const std::string &path)
{
    if (backendOf(path) != Backend::File)
        return backendOf(path) == Backend::Server;
    // Only a regular file is looked into: reading a pipe would take the log's
    // first bytes away from the decoder.
    struct stat st {};
    if (path == "-" || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::array<unsigned char, 72> header{};
    const bool read = ::pread(fd, header.data(), header.size(), 0) == static_cast<ssize_t>(header.size());
    ::close(fd);
    static constexpr char kMagic[16] = "SQLite format 3"; // with its NUL
    const auto id = static_cast<std::uint32_t>(kApplicationId);
    return read && std::memcmp(header.data(), kMagic, sizeof kMagic) == 0 && header[68] == (id >> 24 & 0xFF) &&
           header[69] == (id >> 16 & 0xFF) && header[70] == (id >> 8 & 0xFF) && header[71] == (id & 0xFF);
}

} // namespace halcyra::archive
