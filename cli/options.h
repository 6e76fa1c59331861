// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace halcyra {

inline constexpr const char *kDecodeProgram = "halcyra-decode";

// What the command line of halcyra-decode asks for.
struct DecodeOptions {
    std::string t1Path; // empty: not wanted; "-" standard output
    std::string t2Path;
    bool withTime = false;
    bool useLocale = false;
    bool summary = false;
    bool partial = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> logs; // "-" standard input

    // --archive and --from-archive: given or not, and the archive named with
    // "=FILE" (empty: the default one).
    struct ArchiveChoice {
        bool given = false;
        std::string location;
    };
    ArchiveChoice archive;
    ArchiveChoice fromArchive;
    std::string station;
    std::string date; // YYYY-MM-DD
    std::string since;
    std::string until;
    // --follow LOG: the unattended station; --config FILE: its settings file.
    std::string follow;
    std::string config;
    // --check-limits[=FILE]: the changes of state of the limited fields.
    ArchiveChoice checkLimits;
    // --on-alarm CMD: the station runs it at each change of state.
    std::string onAlarm;
    // With a TNC to follow: the satellite's callsign, and the packet log the
    // received frames are appended to.
    std::string source;
    std::string packetLog;
};

// Describes every option to `app`, bound to its field of `options`, with the
// text --help shows for it; the help text and the usage errors come out in
// the program's own words. A new option is one more field and one more line
// here.
void describeOptions(CLI::App &app, DecodeOptions &options);

// Reads the command line into the options describeOptions() bound. Throws
// CLI::ParseError on a usage error, which app.exit() prints in the program's
// words.
void parseCommandLine(CLI::App &app, int argc, char **argv);

// A usage error as the program prints it: its name, the message, and where
// to find help.
std::string usageText(const std::string &message);

} // namespace halcyra
