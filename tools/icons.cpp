// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Writes the desktop icons from the window icon's drawing, as a hicolor theme
// tree under OUTDIR:
//   halcyra-icons OUTDIR NAME
// gives OUTDIR/hicolor/<n>x<n>/apps/NAME.png for each size the desktops ask
// for, and OUTDIR/hicolor/scalable/apps/NAME.svg.

#include "artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// The SVG's own canvas; its pen widths and margins follow this size, and the
// desktop scales it from there.
constexpr int kSvgSize = 256;

bool writePng(const QString &folder, const QString &name, int size)
{
    const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(folder).arg(size);
    return QDir().mkpath(dir) && halcyra::drawWindowIcon(size).save(dir + '/' + name + ".png", "PNG");
}

bool writeSvg(const QString &folder, const QString &name)
{
    const QString dir = folder + QStringLiteral("/hicolor/scalable/apps");
    if (!QDir().mkpath(dir))
        return false;
    QSvgGenerator svg;
    svg.setFileName(dir + '/' + name + ".svg");
    svg.setSize(QSize(kSvgSize, kSvgSize));
    svg.setViewBox(QRect(0, 0, kSvgSize, kSvgSize));
    svg.setTitle(QStringLiteral("Halcyra Telemetry Decoder"));
    QPainter p;
    if (!p.begin(&svg))
        return false;
    halcyra::paintWindowIcon(p, kSvgSize);
    return p.end();
}

} // namespace

int main(int argc, char *argv[])
{
    // Run at build time, where there may be no display; nothing is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: halcyra-icons OUTDIR NAME\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (const int size : kSizes) {
        if (!writePng(folder, name, size)) {
            std::fprintf(stderr, "halcyra-icons: cannot write the %dx%d icon under %s\n", size, size, argv[1]);
            return 1;
        }
    }
    if (!writeSvg(folder, name)) {
        std::fprintf(stderr, "halcyra-icons: cannot write the SVG icon under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
