// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <QString>

namespace halcyra {

inline constexpr char kCsvFileName[] = "tovrik_Telemetry_T1.csv";

struct ExportResult {
    bool written = false;
    QString error; // why the file could not be written
};

// Writes the CSV header and one line per record of the T1 store. The old
// file is replaced only once the new one is complete, so a failure leaves it
// whole.
ExportResult writeCsvFile(const QString &path, const RecordStore &t1Store, char decimalSeparator);

} // namespace halcyra
