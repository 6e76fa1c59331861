// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "plotcommand.h"

#include <QString>
#include <QStringList>

namespace halcyra {

class Form1;

// What `halcyra [--follow] [LOG]` or `halcyra --plot ...` asks for.
struct CommandLine {
    enum class Action { Run, Help, Version, UsageError, Plot };
    Action action = Action::Run;
    QString log; // absolute, so that following does not depend on the working folder
    bool follow = false;
    QString error;
    // The error names an option this parser does not know, which may be one
    // of Qt's own (-platform, -style, ...) until QApplication has taken those.
    bool unknownOption = false;
    history::PlotRequest plot; // for Action::Plot
};

// `arguments` as QCoreApplication::arguments() gives them, the program first.
CommandLine parseCommandLine(const QStringList &arguments);

const char *commandLineUsage();

// Draws the plot of `--plot`, with a QApplication running; reports to the
// terminal and returns the exit status: 0 written, 1 failed.
int plotFromCommandLine(const CommandLine &line);

// Opens the log of the command line as File > Open Log does, and follows it
// when asked, once the event loop runs: the window is on screen before a
// refused file's message box asks for an answer, and stays open, empty.
void openFromCommandLine(Form1 &window, const CommandLine &line);

} // namespace halcyra
