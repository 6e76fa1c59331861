// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "commandline.h"

#include "mainwindow.h"

#include <QAction>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

namespace halcyra {

namespace {

constexpr const char *kUsage = R"(Usage: halcyra [--follow] [LOG]

Shows the telemetry of the Halcyra cubesat: paste the packet log of your
receiving software into the log box, or name its file. Each T1 frame (32
power-system values) and T2 frame (13 communication values) is decoded into
a grid of named fields, and any field can be plotted over all frames.

  LOG            open this packet log as File > Open Log does; a file that
                 is refused (not a regular file, unreadable, binary or
                 larger than 50 MB) is reported and the window opens empty
  --follow       follow LOG as it grows, as File > Follow Log does
  -h, --help     show this text
  -v, --version  show the version

Qt's own options, such as -platform or -style, are taken as well.

Exit status: 0 when the window was closed; 2 on a usage error.
)";

} // namespace

const char *commandLineUsage()
{
    return kUsage;
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption follow(QStringLiteral("follow"));
    parser.addOptions({help, version, follow});
    parser.addPositionalArgument(QStringLiteral("LOG"), QString(), QStringLiteral("[LOG]"));

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Action::UsageError;
        line.error = parser.errorText();
        line.unknownOption = !parser.unknownOptionNames().isEmpty();
        return line;
    }
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    const QStringList logs = parser.positionalArguments();
    if (logs.size() > 1) {
        line.action = CommandLine::Action::UsageError;
        line.error = QStringLiteral("one LOG at most, not %1").arg(logs.size());
        return line;
    }
    line.follow = parser.isSet(follow);
    if (logs.isEmpty()) {
        if (line.follow) {
            line.action = CommandLine::Action::UsageError;
            line.error = QStringLiteral("--follow needs a LOG to follow");
        }
        return line;
    }
    line.log = QFileInfo(logs.front()).absoluteFilePath();
    return line;
}

void openFromCommandLine(Form1 &window, const CommandLine &line)
{
    if (line.log.isEmpty())
        return;
    QTimer::singleShot(0, &window, [&window, line] {
        if (window.Open_Log(line.log) && line.follow)
            window.Follow_Log();
    });
}

} // namespace halcyra
