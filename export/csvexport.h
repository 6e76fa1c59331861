// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <QString>
#include <QStringList>

namespace halcyra {

inline constexpr char kCsvFileName[] = "tovrik_Telemetry_T1.csv";

struct ExportResult {
    bool written = false;
    QString error; // why the file could not be written
};

// Writes a header of `captions` and one line per record of the T1 store, each
// field followed by ";" and each line by CR LF. The old file is replaced only
// once the new one is complete, so a failure leaves it whole.
ExportResult writeCsvFile(const QString &path, const QStringList &captions, const RecordStore &t1Store,
                          char decimalSeparator);

// The single-character decimal separator of a locale, "." where it has none.
char decimalSeparatorOf(const QString &localeDecimalPoint);

} // namespace halcyra
