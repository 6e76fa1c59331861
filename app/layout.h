// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fields.h"
#include "frame.h"

#include <QRect>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

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

// Where each field's row stands in the grid: currents down the first column
// and voltages down the second, each with a free row after the thirteenth;
// the T2 fields down the third column in groups. The time fields' value
// boxes have room for a date, and "dBm" needs a wider unit label.
enum class Boxes : std::uint8_t { Plain, Date, WideUnit };
struct GridPlace {
    int field;
    int column; // 0, 1 or 2, from left to right
    int row;    // counted down from the grid's top row
    Boxes boxes = Boxes::Plain;
};
constexpr int kGridTop = 2160;
constexpr int kRowPitch = 240;

constexpr std::array<GridPlace, kFieldCount> kGridPlaces{{
    {0, 0, 14},                   // Uptime
    {1, 0, 0},                    // X Cells Curr
    {2, 0, 1},                    // Y Cells Curr
    {3, 0, 2},                    // Z Cells Curr
    {4, 0, 3},                    // EMS Curr
    {5, 0, 4},                    // CW bcn Curr
    {6, 0, 5},                    // I2C Bus Curr
    {7, 0, 6},                    // MCS Curr
    {8, 0, 7},                    // COMM1 Curr
    {9, 0, 8},                    // COMM2 Curr
    {10, 0, 9},                   // ADCS Curr
    {11, 0, 10},                  // PayloadCurr
    {12, 0, 11},                  // TXS1 Curr
    {13, 0, 12},                  // TXS2 Curr
    {14, 1, 0},                   // X Cells Volt
    {15, 1, 1},                   // Y Cells Volt
    {16, 1, 2},                   // Z Cells Volt
    {17, 1, 3},                   // Batt1 Volt
    {18, 1, 4},                   // Batt2 Volt
    {19, 1, 5},                   // EMS Volt
    {20, 1, 6},                   // MCS Volt
    {21, 1, 7},                   // COMM1 Volt
    {22, 1, 8},                   // COMM2 Volt
    {23, 1, 9},                   // ADCS Volt
    {24, 1, 10},                  // Payload Volt
    {25, 1, 11},                  // TXS1 Volt
    {26, 1, 12},                  // TXS2 Volt
    {27, 0, 15},                  // EMS Temp
    {28, 1, 14},                  // MPPT X Volt
    {29, 1, 15},                  // MPPT Y Volt
    {30, 1, 16},                  // MPPT Z Volt
    {31, 0, 16},                  // Ant deploy
    {32, 2, 0, Boxes::Date},      // Timestamp
    {33, 2, 1, Boxes::Date},      // Last UTC
    {34, 2, 2, Boxes::Date},      // Clock drift
    {35, 2, 3},                   // Uptime (T2)
    {36, 2, 5, Boxes::WideUnit},  // COMM1 RSSI
    {37, 2, 6},                   // COMM1 Temp1
    {38, 2, 7},                   // COMM1 Temp2
    {39, 2, 8},                   // COMM1 RX cnt
    {40, 2, 10, Boxes::WideUnit}, // COMM2 RSSI
    {41, 2, 11},                  // COMM2 Temp1
    {42, 2, 12},                  // COMM2 Temp2
    {43, 2, 13},                  // COMM2 RX cnt
    {44, 2, 14},                  // COMM2 TX cnt
}};

// A field left out would stand at the grid's top left, over another one.
static_assert(
    [] {
        for (std::size_t i = 0; i < kGridPlaces.size(); ++i) {
            const GridPlace &p = kGridPlaces[i];
            if (p.field != static_cast<int>(i) || p.column < 0 || p.column >= static_cast<int>(kColumns.size()) ||
                p.row < 0)
                return false;
            for (std::size_t j = 0; j < i; ++j)
                if (kGridPlaces[j].column == p.column && kGridPlaces[j].row == p.row)
                    return false;
        }
        return true;
    }(),
    "every field has a place of its own in the grid, in index order");

struct RowGeometry {
    QRect option, value, unit;
};

constexpr RowGeometry rowGeometry(int field)
{
    const GridPlace &place = kGridPlaces[static_cast<std::size_t>(field)];
    GridColumn c = kColumns[static_cast<std::size_t>(place.column)];
    if (place.boxes == Boxes::Date) {
        c.valueWidth = 1815;
        c.unitLeft = 10200;
    } else if (place.boxes == Boxes::WideUnit) {
        c.unitWidth = 495;
    }
    const int top = kGridTop + kRowPitch * place.row;
    return {twips(c.optionLeft, top, kOptionWidth, kOptionHeight), twips(c.valueLeft, top, c.valueWidth, kValueHeight),
            twips(c.unitLeft, top, c.unitWidth, kUnitHeight)};
}

// The names a screen reader gives the boxes that show T2 bytes as they
// stand, box by box.
constexpr std::array<std::string_view, kT2RawTextBoxes.size()> kRawBoxNames{
    "Raw bytes 15 to 19",
    "Raw bytes 20 to 24",
    "Raw bytes 25 to 30",
};
static_assert(std::none_of(kRawBoxNames.begin(), kRawBoxNames.end(), [](std::string_view n) { return n.empty(); }),
              "every raw box has its name");

} // namespace halcyra::layout
