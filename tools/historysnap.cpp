// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Opens the History window on an archive and saves a picture of it, for the
// README and for looking at the window without a desktop:
//   QT_QPA_PLATFORM=offscreen halcyra-historysnap ARCHIVE OUT.png FIELD[,FIELD...]
//       [last-pass|last-24-hours|last-7-days|all|FROM TO] [--point X Y]
// FROM and TO are UTC times; --point marks the point nearest to pixel (X, Y) of the plot.

#include "historyplot.h"
#include "historywindow.h"
#include "settings.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

using namespace halcyra;
using namespace halcyra::history;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fputs("usage: halcyra-historysnap ARCHIVE OUT.png FIELD[,FIELD...] "
                   "[last-pass|last-24-hours|last-7-days|all|FROM TO] [--point X Y]\n",
                   stderr);
        return 2;
    }
    // The user's own History settings stay out of the picture and untouched.
    QTemporaryDir settings;
    Settings remembered(settings.filePath(QStringLiteral("halcyra.conf")));

    auto *window = new HistoryWindow(argv[1], remembered);
    window->resize(1100, 720);
    window->show();
    for (const QString &name : QString::fromLocal8Bit(argv[3]).split(QLatin1Char(','))) {
        const FieldLookup found = lookUpField(name.toStdString());
        if (found.field < 0) {
            std::fprintf(stderr, "%s\n", found.error.c_str());
            return 2;
        }
        window->setFieldShown(found.field, true);
    }
    int next = 4;
    if (argc > next && argv[next][0] != '-') {
        // "custom" is given as its two times.
        const std::optional<Preset> preset = presetNamed(argv[next]);
        const bool named = preset && *preset != Preset::Custom;
        if (named)
            window->choosePreset(*preset);
        if (!named && argc > next + 1) {
            const auto from = parseUtcTime(argv[next]);
            const auto to = parseUtcTime(argv[next + 1]);
            if (!from || !to)
                return 2;
            window->setCustomRange({*from, *to});
            ++next;
        }
        ++next;
    }
    // The archive is read in a thread of the window's: the picture waits for it.
    const auto answered = [window] {
        do
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        while (window->askingArchive());
    };
    answered();
    if (argc > next + 2 && !std::strcmp(argv[next], "--point")) {
        const QPoint point(std::atoi(argv[next + 1]), std::atoi(argv[next + 2]));
        window->readOutAt(point);
        answered(); // the frame time and station
        const QString text = window->readOutAt(point);
        std::printf("%s\n", text.toLocal8Bit().constData());
        window->plot()->replot();
    }
    QApplication::processEvents();
    const bool saved = window->grab().save(QString::fromLocal8Bit(argv[2]));
    delete window;
    return saved ? 0 : 1;
}
