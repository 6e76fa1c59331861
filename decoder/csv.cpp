// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "csv.h"

#include "fields.h"
#include "numtext.h"

#include <array>
#include <cstring>

namespace halcyra {

namespace {

// The frame time is copied from the log line, so it can hold anything a line
// holds. A ";" or a quote would shift every later column, and a leading "=",
// "+", "-" or "@" would make a spreadsheet evaluate the field as a formula.
// A leading tab is a formula start too: some spreadsheets skip it and read on.
// Such texts are quoted (quotes doubled) and formula starts get an apostrophe;
// the times the receivers write contain none of these and stay as they are.
bool startsFormula(std::string_view text)
{
    if (text.empty())
        return false;
    switch (text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
        return true;
    default:
        return false;
    }
}

char *appendTimeField(char *o, std::string_view time)
{
    const bool formula = startsFormula(time);
    const bool quote = formula || time.find_first_of(";\"") != std::string_view::npos;
    if (!quote) {
        std::memcpy(o, time.data(), time.size());
        return o + time.size();
    }
    *o++ = '"';
    if (formula)
        *o++ = '\'';
    for (char c : time) {
        if (c == '"')
            *o++ = '"';
        *o++ = c;
    }
    *o++ = '"';
    return o;
}

} // namespace

void appendCsvHeader(std::string &out, bool withTime)
{
    if (withTime)
        out += "Frame time;";
    for (int i = 0; i <= kLastFieldIndex; ++i) {
        out += FieldCatalogue[static_cast<std::size_t>(i)].caption;
        out += ';';
    }
    out += "\r\n";
}

char decimalSeparatorFor(std::string_view localeDecimalPoint)
{
    if (localeDecimalPoint.size() != 1)
        return '.';
    const char c = localeDecimalPoint.front();
    const bool ascii = static_cast<unsigned char>(c) < 0x80;
    return ascii && c != ';' && c != '"' ? c : '.';
}

char *writeCsvRecord(char *o, const TelemetryRecord &rec, char decimalSeparator, bool withTime)
{
    if (withTime) {
        o = appendTimeField(o, rec.FrameTime.view());
        *o++ = ';';
    }
    for (int i = 0; i <= kLastFieldIndex; ++i) {
        o += formatGeneral(rec.Values[static_cast<std::size_t>(i)], decimalSeparator, o);
        *o++ = ';';
    }
    *o++ = '\r';
    *o++ = '\n';
    return o;
}

void appendCsvRecord(std::string &out, const TelemetryRecord &rec, char decimalSeparator, bool withTime)
{
    std::array<char, kCsvRecordCapacity> line;
    const char *end = writeCsvRecord(line.data(), rec, decimalSeparator, withTime);
    out.append(line.data(), static_cast<std::size_t>(end - line.data()));
}

} // namespace halcyra
