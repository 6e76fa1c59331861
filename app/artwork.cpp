// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace halcyra {

namespace {

// A 1U cube seen slightly from above, solar cells on two faces, four whip
// antennas; `s` is the edge of the front face in pixels.
void drawCubesat(QPainter &p, QPointF centre, double s)
{
    const double d = s * 0.35; // depth offset of the back faces
    const QPointF a = centre + QPointF(-s / 2 - d / 2, -s / 2 + d / 2);
    const QRectF front(a, QSizeF(s, s));
    const QPolygonF top(
        {front.topLeft(), front.topLeft() + QPointF(d, -d), front.topRight() + QPointF(d, -d), front.topRight()});
    const QPolygonF side({front.topRight(), front.topRight() + QPointF(d, -d), front.bottomRight() + QPointF(d, -d),
                          front.bottomRight()});

    p.setPen(QPen(QColor(200, 205, 215), s * 0.03 + 0.5));
    // Antennas first, so the body covers their roots.
    const QPointF c = front.center();
    const double len = s * 0.95;
    for (int k = 0; k < 4; ++k) {
        const double angle = (45.0 + 90.0 * k) * M_PI / 180.0;
        p.drawLine(c, c + QPointF(std::cos(angle) * len, std::sin(angle) * len));
    }

    p.setPen(QPen(QColor(60, 60, 70), s * 0.02 + 0.5));
    p.setBrush(QColor(170, 175, 185));
    p.drawPolygon(top);
    p.setBrush(QColor(120, 125, 135));
    p.drawPolygon(side);
    p.setBrush(QColor(150, 155, 165));
    p.drawRect(front);

    // Solar cells: two rows of dark blue panes on the front face.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(25, 45, 110));
    const double m = s * 0.1;
    const double w = (s - 3 * m) / 2;
    const double h = (s - 3 * m) / 2;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            p.drawRect(QRectF(front.left() + m + i * (w + m), front.top() + m + j * (h + m), w, h));
}

} // namespace

void paintWindowIcon(QPainter &p, double size)
{
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient sky(QPointF(size * 0.5, size * 0.5), size * 0.5);
    sky.setColorAt(0, QColor(20, 40, 90));
    sky.setColorAt(1, QColor(5, 10, 30));
    p.setBrush(sky);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
    drawCubesat(p, QPointF(size * 0.5, size * 0.5), size * 0.36);
}

QImage drawWindowIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintWindowIcon(p, size);
    return image;
}

QImage drawAboutPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient space(0, 0, 0, height);
    space.setColorAt(0, QColor(4, 8, 28));
    space.setColorAt(1, QColor(18, 32, 70));
    p.fillRect(image.rect(), space);

    // A few fixed stars.
    p.setPen(QColor(230, 230, 255));
    for (int i = 0; i < 40; ++i)
        p.drawPoint((i * 97 + 13) % width, (i * 53 + 7) % (height / 2));

    // The Earth's limb and a ground track across it.
    QRectF earth(-width * 0.3, height * 0.62, width * 1.6, height * 1.2);
    QRadialGradient globe(earth.center(), earth.width() / 2);
    globe.setColorAt(0.9, QColor(30, 100, 170));
    globe.setColorAt(1.0, QColor(120, 180, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(globe);
    p.drawEllipse(earth);

    QPainterPath track;
    for (int x = 0; x <= width; x += 4) {
        const double y = height * 0.82 + std::sin(x * 2 * M_PI / width + 0.6) * height * 0.08;
        x == 0 ? track.moveTo(x, y) : track.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 210, 80), 1.5, Qt::DashLine));
    p.drawPath(track);

    // Telemetry going down: three arcs from the satellite.
    const QPointF sat(width * 0.62, height * 0.34);
    p.setPen(QPen(QColor(140, 230, 140), 1.5));
    for (int k = 1; k <= 3; ++k) {
        const double r = 10.0 * k;
        p.drawArc(QRectF(sat.x() - r, sat.y() + 14 - r, 2 * r, 2 * r), 200 * 16, 140 * 16);
    }
    drawCubesat(p, sat, 34);
    return image;
}

} // namespace halcyra
