// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Pastes a log into the main window and saves a picture of the window, for
// the README and for looking at the layout without a desktop:
//   QT_QPA_PLATFORM=offscreen halcyra-snap LOG OUT.png [FIELD [POSITION [WIDTH]]]

#include "form1probe.h"

#include <QApplication>
#include <QFile>
#include <QScrollBar>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: halcyra-snap LOG OUT.png [FIELD [POSITION [WIDTH]]]\n", stderr);
        return 2;
    }
    QFile log(QString::fromLocal8Bit(argv[1]));
    if (!log.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    halcyra::Form1 window;
    const halcyra::Form1Probe ui(window);
    if (argc > 5)
        window.resize(QString::fromLocal8Bit(argv[5]).toInt(), window.height());
    window.show();
    ui.Text2()->setPlainText(QString::fromLatin1(log.readAll()));
    if (argc > 3)
        ui.Option1_Click(QString::fromLocal8Bit(argv[3]).toInt());
    if (argc > 4)
        ui.HScroll1()->setValue(QString::fromLocal8Bit(argv[4]).toInt());
    QApplication::processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
