// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "lines.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace halcyra {

// The rule of the programs' configuration files (the window's conf.ini, the
// station's station.conf): "#" in the first column starts a comment; other
// lines are KEY = VALUE, split at the first "=", key and value trimmed of
// spaces (not tabs); keys in any case. Lines end at CR LF, LF or CR.

inline std::string_view trimSpaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Whether `text` is `upper` in any letter case; `upper` is upper case.
inline bool equalsUpper(std::string_view text, std::string_view upper)
{
    return text.size() == upper.size() && std::equal(text.begin(), text.end(), upper.begin(), [](char a, char b) {
               return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
           });
}

// Calls setting(lineNumber, key, value) for each KEY = VALUE line and
// other(lineNumber, line) for each line that is neither that, a comment nor
// empty (lines counted from 1).
template <typename Setting, typename Other> void forEachSetting(std::string_view text, Setting &&setting, Other &&other)
{
    std::size_t number = 0;
    forEachLine(text, [&](std::string_view line) {
        ++number;
        if (line.empty() || line.front() == '#')
            return;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            if (!trimSpaces(line).empty())
                other(number, line);
            return;
        }
        setting(number, trimSpaces(line.substr(0, eq)), trimSpaces(line.substr(eq + 1)));
    });
}

} // namespace halcyra
