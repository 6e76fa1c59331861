// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QImage>

class QPainter;

namespace halcyra {

// The program's pictures are drawn, not stored: a cubesat with its antennas
// for the window icon, and the satellite over a ground track for the About
// window.
QImage drawWindowIcon(int size = 64);
// The icon on any paint device, a `size` square from the origin: the
// desktop's PNG and SVG icons are made from the same drawing.
void paintWindowIcon(QPainter &p, double size);
QImage drawAboutPicture(int width = 256, int height = 170);

} // namespace halcyra
