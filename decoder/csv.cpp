// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "csv.h"

#include "fields.h"
#include "numtext.h"

#include <array>
#include <cstring>

namespace halcyra {

namespace {

// A leading "=", "+", "-" or "@" would make a spreadsheet evaluate the
// cell as a formula; a leading tab is a formula start too, as some
// spreadsheets skip it and read on.
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

char *writeCsvText(char *o, std::string_view text, char separator)
{
    const bool formula = startsFormula(text);
    const bool quote = formula || text.find_first_of("\"\r\n") != std::string_view::npos ||
                       text.find(separator) != std::string_view::npos;
    if (!quote) {
        std::memcpy(o, text.data(), text.size());
        return o + text.size();
    }
    *o++ = '"';
    if (formula)
        *o++ = '\'';
    for (char c : text) {
        if (c == '"')
            *o++ = '"';
        *o++ = c;
    }
    *o++ = '"';
    return o;
}

void appendCsvText(std::string &out, std::string_view text, char separator)
{
    const std::size_t size = out.size();
    out.resize(size + csvTextCapacity(text.size()));
    out.resize(static_cast<std::size_t>(writeCsvText(out.data() + size, text, separator) - out.data()));
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
        o = writeCsvText(o, rec.FrameTime.view(), ';');
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
