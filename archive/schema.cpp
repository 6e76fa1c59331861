// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "schema.h"

#include "hex.h"

#include <algorithm>

namespace halcyra::archive {

std::string recordsViewSql(FrameKind kind, std::string_view frameHexSql, std::string_view ax25HexSql,
                           std::string_view quote)
{
    std::string fields;
    for (int i = firstField(kind); i < fieldEnd(kind); ++i) {
        const std::string column =
            std::string(quote) + fieldColumn(FieldCatalogue[static_cast<std::size_t>(i)].caption) + std::string(quote);
        fields += ",\n    f." + column + " AS " + column;
    }
    return "CREATE VIEW " + std::string(recordsView(kind)) +
           " AS SELECT\n"
           "    f.received_utc AS received_utc,\n"
           "    f.frame_time AS frame_time,\n"
           "    " +
           std::string(frameHexSql) +
           " AS frame_hex,\n"
           "    s.source AS source,\n"
           "    NULLIF(s.station, '') AS station" +
           fields + ",\n    " + std::string(ax25HexSql) + " AS ax25_hex\nFROM " + std::string(framesTable(kind)) +
           " AS f JOIN sources AS s ON s.id = f.source_id;\n";
}

FrameKey frameKey(std::string_view payload)
{
    FrameKey key;
    const std::size_t n = payload.size() < key.data.size() ? payload.size() : key.data.size();
    bool hex = n % 2 == 0;
    for (std::size_t i = 0; i < n && hex; ++i)
        hex = isHexDigit(payload[i]);
    key.binary = hex;
    if (hex) {
        for (std::size_t i = 0; i < n; i += 2)
            key.data[i / 2] = static_cast<char>(hexDigitValue(payload[i]) << 4 | hexDigitValue(payload[i + 1]));
        key.size = n / 2;
        return key;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = payload[i];
        key.data[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : (c >= ' ' && c <= '~' ? c : '?');
    }
    key.size = n;
    return key;
}

std::string frameHex(std::string_view key, bool binary)
{
    if (!binary)
        return std::string(key);
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(key.size() * 2, '0');
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto b = static_cast<unsigned char>(key[i]);
        out[2 * i] = kDigits[b >> 4];
        out[2 * i + 1] = kDigits[b & 0xF];
    }
    return out;
}

namespace {

// The code point of the UTF-8 sequence at `at`, and its length; length 0 when
// the bytes there are not one (overlong, a surrogate, beyond U+10FFFF, cut short).
struct CodePoint {
    char32_t code = 0;
    std::size_t length = 0;
};

CodePoint decodeUtf8(std::string_view text, std::size_t at)
{
    const auto c = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t min = 0;
    if (c < 0x80) {
        return {c, 1};
    } else if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        min = 0x10000;
    }
    if (length == 0 || at + length > text.size())
        return {};
    char32_t code = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return {};
        code = code << 6 | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return {};
    return {code, length};
}

bool isUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = decodeUtf8(text, i).length;
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

} // namespace

std::string archiveText(std::string_view bytes, TextFrom from)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b != 0 && b < 0x80;
    });
    std::string out;
    if (ascii || (from == TextFrom::Name && isUtf8(bytes))) {
        out.assign(bytes);
    } else {
        out.reserve(bytes.size() * 2);
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out += c;
            } else {
                out += static_cast<char>(0xC0 | b >> 6);
                out += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
    }
    std::replace(out.begin(), out.end(), '\0', '?');
    return out;
}

std::string frameTimeBytes(std::string_view stored)
{
    if (std::all_of(stored.begin(), stored.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }) ||
        !isUtf8(stored))
        return std::string(stored);
    std::string out;
    for (std::size_t i = 0; i < stored.size();) {
        const CodePoint point = decodeUtf8(stored, i);
        out += point.code <= 0xFF ? static_cast<char>(point.code) : '?';
        i += point.length;
    }
    return out;
}

} // namespace halcyra::archive
