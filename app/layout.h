// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

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

struct Placement {
    GridColumn column;
    int top;
};

// Currents down column A and voltages down column B, each with a free row
// at 5280; the T2 fields down column C in three groups.
constexpr std::array<Placement, kFieldCount> kPlacement = [] {
    std::array<Placement, kFieldCount> p{};
    for (int i = 1; i <= 13; ++i)
        p[i] = {kColumnA, 2160 + 240 * (i - 1)};
    for (int i = 14; i <= 26; ++i)
        p[i] = {kColumnB, 2160 + 240 * (i - 14)};
    p[0] = {kColumnA, 5520};
    p[27] = {kColumnA, 5760};
    p[31] = {kColumnA, 6000};
    for (int i = 28; i <= 30; ++i)
        p[i] = {kColumnB, 5520 + 240 * (i - 28)};
    const int columnC[] = {2160, 2400, 2640, 2880, 3360, 3600, 3840, 4080, 4560, 4800, 5040, 5280, 5520};
    for (int i = 32; i <= 44; ++i)
        p[i] = {kColumnC, columnC[i - 32]};
    return p;
}();

struct RowGeometry {
    QRect option, value, unit;
};

constexpr RowGeometry rowGeometry(int field)
{
    const Placement &p = kPlacement[static_cast<std::size_t>(field)];
    GridColumn c = p.column;
    if (field >= 32 && field <= 34) { // the time fields need room for a date
        c.valueWidth = 1815;
        c.unitLeft = 10200;
    } else if (field == 36 || field == 40) {
        c.unitWidth = 495; // "dBm"
    }
    return {twips(c.optionLeft, p.top, kOptionWidth, kOptionHeight),
            twips(c.valueLeft, p.top, c.valueWidth, kValueHeight), twips(c.unitLeft, p.top, c.unitWidth, kUnitHeight)};
}

} // namespace halcyra::layout
