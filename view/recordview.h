// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fields.h"
#include "record.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>
#include <optional>

namespace halcyra {

// The decimal separator of a locale's numbers, as the grid and the CSV files write them.
char decimalSeparatorFor(const QLocale &locale);

// Number and date texts of the grid, in the given locale.
QString twoDecimalsText(double value, const QLocale &locale);
QString generalText(double value, const QLocale &locale);
QString dateTimeText(const QDateTime &dateTime, const QLocale &locale);
// A read-out's value: to the decimals of the field's resolution (fields.h).
QString readingText(const FieldInfo &field, double value, const QLocale &locale);

// 1970-01-01 00:00:00 plus `seconds`, read as UTC; no value outside the years
// 100 to 9999.
std::optional<QDateTime> UnixSecondsToDate(double seconds);

// The text a value box shows for a field's stored value.
QString fieldText(const FieldInfo &field, double value, const QLocale &locale);

// What the grid shows for one position: each store contributes only a record
// it really holds at that position; a missing one leaves its boxes empty.
struct RecordTexts {
    std::array<QString, kFieldCount> values;
    QString frameTime;
};
RecordTexts recordTexts(const RecordStore &t1Store, const RecordStore &t2Store, int position, const QLocale &locale);

} // namespace halcyra
