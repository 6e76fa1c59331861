// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "mainwindow.h"
#include "version.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halcyra Telemetry Decoder"));
    QApplication::setApplicationVersion(QString::fromLatin1(halcyra::kVersion));
    halcyra::Form1 window;
    window.show();
    return QApplication::exec();
}
