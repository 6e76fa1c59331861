// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archive.h"
#include "commandline.h"
#include "mainwindow.h"
#include "version.h"

#include <QApplication>

#include <cstdio>

namespace {

// Help, version and usage errors go to the terminal; 0, or 2 for an error.
int answer(const halcyra::CommandLine &line)
{
    using Action = halcyra::CommandLine::Action;
    if (line.action == Action::UsageError) {
        std::fprintf(stderr, "halcyra: %s\nTry 'halcyra --help' for more information.\n",
                     line.error.toLocal8Bit().constData());
        return 2;
    }
    if (line.action == Action::Help)
        std::fputs(halcyra::commandLineUsage(), stdout);
    else
        std::printf("halcyra %s\n%s\n", halcyra::kVersion, halcyra::kVersionNote);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Answered before Qt connects to a display: help2man and the package
    // checks ask for --help and --version on machines that have none.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    halcyra::CommandLine line = halcyra::parseCommandLine(arguments);
    // Qt reads copies; the process list shows the originals, without
    // passwords, also while a plot waits for its server.
    halcyra::archive::ConcealedArguments concealed(argc, argv);
    if (line.action == halcyra::CommandLine::Action::Plot) {
        // The picture is drawn without a display: from a timer, on a server.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt's notes about the session (no XDG_RUNTIME_DIR under cron) would
        // reach the mail of every run; only our own messages go out.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "halcyra: %s\n", message.toLocal8Bit().constData());
        });
        QApplication app(argc, concealed.argv());
        return halcyra::plotFromCommandLine(line);
    }
    if (line.action != halcyra::CommandLine::Action::Run && !line.unknownOption)
        return answer(line);

    QApplication app(argc, concealed.argv());
    QApplication::setApplicationName(QStringLiteral("Halcyra Telemetry Decoder"));
    QApplication::setApplicationVersion(QString::fromLatin1(halcyra::kVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral(HALCYRA_DESKTOP_ID));
    // QApplication has taken its own options out; what is left is ours.
    line = halcyra::parseCommandLine(QCoreApplication::arguments());
    if (line.action == halcyra::CommandLine::Action::Plot)
        return halcyra::plotFromCommandLine(line);
    if (line.action != halcyra::CommandLine::Action::Run)
        return answer(line);

    halcyra::Form1 window;
    window.show();
    halcyra::openFromCommandLine(window, line);
    return QApplication::exec();
}
