// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "schema.h"

#include "hex.h"

namespace halcyra::archive {

std::string fieldColumn(std::string_view caption)
{
    std::string column;
    bool inRun = false;
    for (const char c : caption) {
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (letterOrDigit)
            column += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        else if (!inRun)
            column += '_';
        inRun = !letterOrDigit;
    }
    return column;
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

} // namespace halcyra::archive
