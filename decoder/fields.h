// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "numtext.h"
#include "record.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace halcyra {

// How a field's raw integer is read from the frame's hex text.
enum class Reading : std::uint8_t {
    Word,      // unsigned 16-bit, each byte converted on its own, low byte first
    Signed16,  // four digits rearranged high byte first, 8000..FFFF negative
    Counter16, // four digits rearranged high byte first, unsigned
    Signed32,  // eight digits rearranged high byte first, two's complement
    Low31,     // like Signed32 with bit 31 cleared
};

// How the record view writes a field into its value box.
enum class DisplayRule : std::uint8_t {
    TwoDecimals, // fixed "0.00"
    General,     // general number text, sign kept
    DateTime,    // seconds since 1970 as date and time
    Deployed,    // the literal "deployed"
};

// value = (divisor != 0 ? raw / divisor : raw * scale) + offset, evaluated in
// that order; this reproduces every formula of the frame layouts bit for bit
// (c - raw * k is written as raw * -k + c, which rounds identically).
struct Formula {
    double scale = 1.0;
    double divisor = 0.0;
    double offset = 0.0;

    constexpr double apply(double raw) const { return (divisor != 0.0 ? raw / divisor : raw * scale) + offset; }
    // The raw reading that gives `value`, before rounding to a whole reading:
    // the way back for tools that make frames from engineering values.
    constexpr double rawFor(double value) const
    {
        return divisor != 0.0 ? (value - offset) * divisor : (value - offset) / scale;
    }
};

// The T1 fields come first, then the T2 fields.
inline constexpr FrameKind storeOf(int fieldIndex)
{
    return fieldIndex < kFirstT2Field ? FrameKind::T1 : FrameKind::T2;
}

struct FieldInfo {
    int index;
    std::string_view caption;
    std::string_view unit;
    int byteOffset; // payload byte where the reading starts
    Reading reading;
    Formula formula;
    DisplayRule display;
};

namespace detail {
inline constexpr double kCurrent = 0.3052503;
inline constexpr double kCellVolt = 0.001369;
inline constexpr double kBattVolt = 0.001221;
inline constexpr double kBusVolt = 0.0009157;
inline constexpr double kAdc = 3.3 / 4095;
inline constexpr double kCommTempOffset = 159.188727583262;
inline constexpr double kCommTempScale = -0.0688181730026307;

constexpr FieldInfo t1(int index, std::string_view caption, std::string_view unit, Formula f,
                       DisplayRule rule = DisplayRule::TwoDecimals)
{
    return {index, caption, unit, 2 * index, Reading::Word, f, rule};
}
constexpr FieldInfo t2(int index, std::string_view caption, std::string_view unit, int byte, Reading reading, Formula f,
                       DisplayRule rule)
{
    return {index, caption, unit, byte, reading, f, rule};
}
constexpr Formula times(double k)
{
    return {k, 0.0, 0.0};
}
constexpr Formula perDay()
{
    return {1.0, 1440.0, 0.0};
} // minutes shown as days
constexpr Formula raw()
{
    return {};
}
} // namespace detail

// The one table behind the grid's captions, the CSV header, the chart captions and the decoder.
inline constexpr std::array<FieldInfo, kFieldCount> FieldCatalogue = [] {
    using namespace detail;
    using D = DisplayRule;
    using R = Reading;
    return std::array<FieldInfo, kFieldCount>{{
        t1(0, "Uptime", "d", perDay()),
        t1(1, "X Cells Curr", "mA", times(kCurrent)),
        t1(2, "Y Cells Curr", "mA", times(kCurrent)),
        t1(3, "Z Cells Curr", "mA", times(kCurrent)),
        t1(4, "EMS Curr", "mA", times(kCurrent)),
        t1(5, "CW bcn Curr", "mA", times(kCurrent)),
        t1(6, "I2C Bus Curr", "mA", times(kCurrent)),
        t1(7, "MCS Curr", "mA", times(kCurrent)),
        t1(8, "COMM1 Curr", "mA", times(kCurrent)),
        t1(9, "COMM2 Curr", "mA", times(kCurrent)),
        t1(10, "ADCS Curr", "mA", times(kCurrent)),
        t1(11, "PayloadCurr", "mA", times(kCurrent)),
        t1(12, "TXS1 Curr", "mA", times(kCurrent)),
        t1(13, "TXS2 Curr", "mA", times(kCurrent)),
        t1(14, "X Cells Volt", "V", times(kCellVolt)),
        t1(15, "Y Cells Volt", "V", times(kCellVolt)),
        t1(16, "Z Cells Volt", "V", times(kCellVolt)),
        t1(17, "Batt1 Volt", "V", times(kBattVolt)),
        t1(18, "Batt2 Volt", "V", times(kBattVolt)),
        t1(19, "EMS Volt", "V", times(kBusVolt)),
        t1(20, "MCS Volt", "V", times(kBusVolt)),
        t1(21, "COMM1 Volt", "V", times(kBusVolt)),
        t1(22, "COMM2 Volt", "V", times(kBusVolt)),
        t1(23, "ADCS Volt", "V", times(kBusVolt)),
        t1(24, "Payload Volt", "V", times(kBusVolt)),
        t1(25, "TXS1 Volt", "V", times(kBusVolt)),
        t1(26, "TXS2 Volt", "V", times(kBusVolt)),
        t1(27, "EMS Temp", "C", {-0.052135, 0.0, 159.18872}),
        t1(28, "MPPT X Volt", "V", times(kBusVolt)),
        t1(29, "MPPT Y Volt", "V", times(kBusVolt)),
        t1(30, "MPPT Z Volt", "V", times(kBusVolt)),
        t1(31, "Ant deploy", "", times(kAdc), D::Deployed),
        t2(32, "Timestamp", "", 0, R::Low31, raw(), D::DateTime),
        t2(33, "Last UTC", "", 4, R::Signed32, raw(), D::DateTime),
        t2(34, "Clock drift", "s", 8, R::Signed32, raw(), D::General),
        t2(35, "Uptime", "d", 12, R::Word, perDay(), D::TwoDecimals),
        t2(36, "COMM1 RSSI", "dBm", 30, R::Signed16, {kAdc * 48.1874, 0.0, -171.1065}, D::TwoDecimals),
        t2(37, "COMM1 Temp1", "C", 32, R::Signed16, {kCommTempScale, 0.0, kCommTempOffset}, D::TwoDecimals),
        t2(38, "COMM1 Temp2", "C", 34, R::Signed16, {kCommTempScale, 0.0, kCommTempOffset}, D::TwoDecimals),
        t2(39, "COMM1 RX cnt", "", 36, R::Counter16, raw(), D::General),
        t2(40, "COMM2 RSSI", "dBm", 38, R::Signed16, {kAdc * 49.8642, 0.0, -199.5538}, D::TwoDecimals),
        t2(41, "COMM2 Temp1", "C", 40, R::Signed16, {kCommTempScale, 0.0, kCommTempOffset}, D::TwoDecimals),
        t2(42, "COMM2 Temp2", "C", 42, R::Signed16, {kCommTempScale, 0.0, kCommTempOffset}, D::TwoDecimals),
        t2(43, "COMM2 RX cnt", "", 44, R::Counter16, raw(), D::General),
        t2(44, "COMM2 TX cnt", "", 46, R::Counter16, raw(), D::General),
    }};
}();

// A row left out of the table would be a default row that nothing notices.
static_assert(
    [] {
        for (int i = 0; i < kFieldCount; ++i)
            if (FieldCatalogue[static_cast<std::size_t>(i)].index != i ||
                FieldCatalogue[static_cast<std::size_t>(i)].caption.empty())
                return false;
        return true;
    }(),
    "every field has its row, in index order");

// The read-outs of the trend chart and of History show a value to as many
// decimals as tell one raw reading of its field from the next: the step of
// one raw count in the field's unit decides. A Batt1 Volt counts 1.221 mV, so
// three decimals; a counter none. The exports keep the full value.
inline double readingStep(const FieldInfo &field)
{
    const Formula &f = field.formula;
    return f.divisor != 0.0 ? 1.0 / std::fabs(f.divisor) : std::fabs(f.scale);
}
inline int readingDecimals(const FieldInfo &field)
{
    const double step = readingStep(field);
    if (!(step > 0))
        return kMostFixedDecimals;
    // A step of exactly 0.1 must not ask for two decimals by a rounding of log10.
    const double decimals = std::ceil(-std::log10(step) - 1e-9);
    return static_cast<int>(std::clamp(decimals, 0.0, static_cast<double>(kMostFixedDecimals)));
}
inline std::size_t formatReading(const FieldInfo &field, double value, char decimalSeparator, char *out)
{
    return formatFixed(value, readingDecimals(field), decimalSeparator, out);
}

} // namespace halcyra
