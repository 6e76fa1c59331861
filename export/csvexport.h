// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <QString>

#include <vector>

namespace halcyra {

inline constexpr char kCsvFileName[] = "tovrik_Telemetry_T1.csv";

struct ExportResult {
    bool written = false;
    QString path;  // the file that could not be written
    QString error; // why
};

// Writes the CSV header and one line per record of the T1 store. The old
// file is replaced only once the new one is complete, so a failure leaves it
// whole.
ExportResult writeCsvFile(const QString &path, const RecordStore &t1Store, char decimalSeparator);

// What "Export Records..." writes.
enum class RecordKinds { T1, T2, Both };
struct ExportChoice {
    RecordKinds kinds = RecordKinds::Both;
    bool withTime = true;
    bool localeSeparator = true; // false: "." whatever the locale

    bool operator==(const ExportChoice &) const = default;
};

struct CsvOutput {
    QString path;
    const RecordStore *store;
};

// The files of an export to `chosen`: the name itself for one kind; for both,
// "-t1" and "-t2" before its suffix (pass.csv: pass-t1.csv and pass-t2.csv).
std::vector<CsvOutput> exportOutputs(const QString &chosen, RecordKinds kinds, const RecordStore &t1Store,
                                     const RecordStore &t2Store);

// Writes each output in the batch decoder's CSV format. None replaces its old
// file unless all of them could be written whole.
ExportResult writeCsvFiles(const std::vector<CsvOutput> &outputs, bool withTime, char decimalSeparator);

} // namespace halcyra
