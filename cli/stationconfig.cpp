// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "stationconfig.h"

#include "archive.h"
#include "archiveio.h"
#include "ax25frame.h"
#include "keyvalue.h"
#include "limittext.h"
#include "receivetime.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace halcyra {

namespace {

// Far beyond any station's settings.
constexpr std::streamsize kConfigLimit = 64 * 1024;

struct FileValues {
    std::optional<std::string> log;
    std::optional<std::string> archive;
    std::optional<std::string> station;
    std::optional<std::string> limits;
    std::optional<std::string> onAlarm;
    std::optional<std::string> source;
    std::optional<std::string> packetLog;
};

// A callsign as AX.25 carries it: up to six letters and digits, without the
// SSID (every SSID of it is taken).
std::optional<std::string> callsign(std::string_view text)
{
    std::string call;
    for (const char c : text) {
        if (c >= 'a' && c <= 'z')
            call += static_cast<char>(c - 'a' + 'A');
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            call += c;
        else
            return std::nullopt;
    }
    // The reader of the frames takes what an AX.25 address can hold.
    if (call.empty() || call.size() > 6 || !tnc::parseAddressText(call))
        return std::nullopt;
    return call;
}

std::string callsignError(std::string_view text)
{
    return "\"" + std::string(text) + "\" is no callsign: up to six letters and digits, without an SSID";
}

std::optional<std::string> readText(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return path + ": " + std::strerror(errno);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return path + ": cannot be read";
    text = std::move(buffer).str();
    if (static_cast<std::streamsize>(text.size()) > kConfigLimit)
        return path + ": larger than 64 KiB, so not a station configuration";
    return std::nullopt;
}

std::optional<std::string> parseValues(const std::string &path, std::string_view text, FileValues &values)
{
    std::optional<std::string> error;
    const auto where = [&](std::size_t line) { return path + ":" + std::to_string(line) + ": "; };
    forEachSetting(
        text,
        [&](std::size_t line, std::string_view key, std::string_view value) {
            std::optional<std::string> *const slot = equalsUpper(key, "LOG")        ? &values.log
                                                     : equalsUpper(key, "ARCHIVE")  ? &values.archive
                                                     : equalsUpper(key, "STATION")  ? &values.station
                                                     : equalsUpper(key, "LIMITS")   ? &values.limits
                                                     : equalsUpper(key, "ON_ALARM") ? &values.onAlarm
                                                     : equalsUpper(key, "SOURCE")   ? &values.source
                                                     : equalsUpper(key, "TNC_LOG")  ? &values.packetLog
                                                                                    : nullptr;
            if (!slot && !error)
                error = where(line) + "unknown key \"" + std::string(key) +
                        "\" (the keys are LOG, ARCHIVE, STATION, LIMITS, ON_ALARM, SOURCE, TNC_LOG)";
            else if (slot == &values.station && !archive::stationName(value).error.empty() && !error)
                error = where(line) + archive::stationName(value).error;
            else if (slot == &values.source && !callsign(value) && !error)
                error = where(line) + callsignError(value);
            else if (slot == &values.log && isTncAddress(value) && !parseTncAddress(value).address && !error)
                error = where(line) + parseTncAddress(value).error;
            else if (slot)
                *slot = std::string(value);
        },
        [&](std::size_t line, std::string_view) {
            if (!error)
                error = where(line) + "not a KEY = VALUE line";
        });
    return error;
}

// A TNC's address, the callsign and the packet log; the last two only with
// a TNC, where they mean something.
std::optional<std::string> tncSettings(const DecodeOptions &options, const FileValues &file, StationSettings &settings)
{
    const std::string source = !options.source.empty() ? options.source : file.source.value_or("");
    settings.packetLog = !options.packetLog.empty() ? options.packetLog : file.packetLog.value_or("");
    if (!isTncAddress(settings.log)) {
        if (!source.empty())
            return std::string("--source and SOURCE go with a TNC (kiss:...), not with the log ") + settings.log;
        if (!settings.packetLog.empty())
            return std::string("--log and TNC_LOG go with a TNC (kiss:...), not with the log ") + settings.log;
        return std::nullopt;
    }
    TncAddressResult parsed = parseTncAddress(settings.log);
    if (!parsed.address)
        return parsed.error;
    settings.tnc = std::move(parsed.address);
    if (!source.empty()) {
        const std::optional<std::string> call = callsign(source);
        if (!call)
            return "option --source: " + callsignError(source);
        settings.sourceCall = *call;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> stationSettings(const DecodeOptions &options, StationSettings &settings)
{
    FileValues file;
    if (!options.config.empty()) {
        std::string text;
        if (auto error = readText(options.config, text))
            return error;
        if (auto error = parseValues(options.config, text, file))
            return error;
    }
    settings.log = !options.follow.empty() ? options.follow : file.log.value_or("");
    if (settings.log.empty())
        return options.config + ": no LOG to follow";
    if (auto error = tncSettings(options, file, settings))
        return error;
    // The archive keeps where frames came from; a path that still tells the
    // file when the archive is read from elsewhere.
    std::error_code ignored;
    if (const std::filesystem::path absolute = std::filesystem::absolute(settings.log, ignored);
        !settings.tnc && !ignored)
        settings.log = absolute.lexically_normal().string();
    DecodeOptions::ArchiveChoice choice = options.archive;
    if (!choice.given && file.archive)
        choice.location = *file.archive;
    settings.archive = archiveLocation(choice);
    if (settings.archive.empty())
        return std::string("no archive: name one, or set XDG_DATA_HOME or HOME for the default one");
    settings.station =
        archive::stationName(!options.station.empty() ? options.station : file.station.value_or("")).name;
    if (!options.date.empty())
        settings.fallbackDay = parseDate(options.date); // checked with the command line
    settings.onAlarm = !options.onAlarm.empty() ? options.onAlarm : file.onAlarm.value_or("");
    // A station nobody watches must not run on with half its limits, nor
    // with none when a file was meant: a refused file stops it at start.
    try {
        const std::filesystem::path folder =
            std::filesystem::absolute(std::filesystem::path(options.config).parent_path(), ignored);
        LoadedLimits loaded = loadLimits(file.limits, folder.string());
        settings.limits = loaded.limits;
        settings.limitsPath = loaded.path;
    } catch (const LimitsError &error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

} // namespace halcyra
