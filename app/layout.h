// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fields.h"

#include <QRect>

#include <array>

namespace halcyra::layout {

// The windows are laid out on a fixed grid of twips, 15 to a pixel.
constexpr int kTwipsPerPixel = 15;
constexpr QRect twips(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

constexpr int kClientWidth = 10695;
constexpr int kClientHeight = 11955;

// One row of the field grid: option button, value box and unit label.
constexpr int kOptionWidth = 1575, kOptionHeight = 195;
constexpr int kValueHeight = 285;
constexpr int kUnitHeight = 255;

struct GridColumn {
    int optionLeft, valueLeft, valueWidth, unitLeft, unitWidth;
};
constexpr GridColumn kColumnA{120, 1800, 735, 2640, 375};
constexpr GridColumn kColumnB{3360, 5040, 735, 5880, 375};
constexpr GridColumn kColumnC{6600, 8280, 735, 9120, 375};

constexpr std::array<GridColumn, 3> kColumns{kColumnA, kColumnB, kColumnC};

struct RowGeometry {
    QRect option, value, unit;
};

constexpr RowGeometry rowGeometry(int field)
{
    const GridCell &cell = FieldCatalogue[static_cast<std::size_t>(field)].cell;
    GridColumn c = kColumns[static_cast<std::size_t>(cell.column)];
    if (field >= 32 && field <= 34) { // the time fields need room for a date
        c.valueWidth = 1815;
        c.unitLeft = 10200;
    } else if (field == 36 || field == 40) {
        c.unitWidth = 495; // "dBm"
    }
    return {twips(c.optionLeft, cell.top, kOptionWidth, kOptionHeight),
            twips(c.valueLeft, cell.top, c.valueWidth, kValueHeight),
            twips(c.unitLeft, cell.top, c.unitWidth, kUnitHeight)};
}

} // namespace halcyra::layout
