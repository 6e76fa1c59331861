// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "numtext.h"
#include "record.h"

#include <string>
#include <string_view>

namespace halcyra {

// The CSV files of the window and of halcyra-decode: one line of the 45
// captions, then one line per record of its 45 values in general number text.
// Every field, the last one included, is followed by ";" and every line ends
// with CR LF. With `withTime` a first column "Frame time" holds the record's
// frame time text.

void appendCsvHeader(std::string &out, bool withTime);

// A text cell of every CSV file the programs write, whatever its separator:
// frame times, which are copied from the log line, station names, which any
// station on a shared server chooses, captions. A text holding the separator,
// a quote or a line end is quoted, its quotes doubled; one a spreadsheet would
// run as a formula (a leading "=", "+", "-", "@" or tab) is quoted with an
// apostrophe before it. Other texts stay as they are. Numbers are not texts:
// their minus sign is no formula.
inline constexpr std::size_t csvTextCapacity(std::size_t textSize)
{
    return 2 * textSize + 3;
}
// Writes the cell at `out`, which has room for csvTextCapacity(text.size())
// characters, and returns its end.
char *writeCsvText(char *out, std::string_view text, char separator);
void appendCsvText(std::string &out, std::string_view text, char separator);

// The decimal separator of every number the program writes or shows, for a
// locale's decimal point: the point itself when it is a single ASCII character
// other than the field separator ";" and the quote, otherwise ".". One rule, so
// that the grid, the CSV files and halcyra-decode never disagree.
char decimalSeparatorFor(std::string_view localeDecimalPoint);

// The longest line of one record: a time column of quotes only (each doubled,
// the field quoted), every number of the longest text.
inline constexpr std::size_t kCsvRecordCapacity =
    csvTextCapacity(FrameTimeText::kCapacity) + 1 + kFieldCount * (kNumberTextCapacity + 1) + 2;

// Writes the record's line at `out`, which has room for kCsvRecordCapacity
// characters, and returns its end. Batch decoding builds its lines in place in
// the output buffer, without a copy per line.
char *writeCsvRecord(char *out, const TelemetryRecord &rec, char decimalSeparator, bool withTime);

// Appends the record's line to `out` with a single append.
void appendCsvRecord(std::string &out, const TelemetryRecord &rec, char decimalSeparator, bool withTime);

} // namespace halcyra
