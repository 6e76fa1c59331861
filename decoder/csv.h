// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <string>

namespace halcyra {

// The CSV files of the window and of halcyra-decode: one line of the 45
// captions, then one line per record of its 45 values in general number text.
// Every field, the last one included, is followed by ";" and every line ends
// with CR LF. With `withTime` a first column "Frame time" holds the record's
// frame time text.

void appendCsvHeader(std::string &out, bool withTime);

// Appends the record's line to `out` with a single append: batch decoding
// writes a line per frame for logs of any length.
void appendCsvRecord(std::string &out, const TelemetryRecord &rec, char decimalSeparator, bool withTime);

} // namespace halcyra
