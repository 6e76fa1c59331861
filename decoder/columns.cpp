// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "columns.h"

#include "fields.h"

namespace halcyra {

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

std::vector<int> fieldsNamed(std::string_view name, std::optional<FrameKind> kind)
{
    std::string column(name);
    for (char &c : column)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    for (const FrameKind k : {FrameKind::T1, FrameKind::T2}) {
        const std::string_view prefix = k == FrameKind::T1 ? "t1." : "t2.";
        if (!kind && column.starts_with(prefix)) {
            kind = k;
            column.erase(0, prefix.size());
        }
    }
    std::vector<int> found;
    for (const FieldInfo &f : FieldCatalogue)
        if ((!kind || storeOf(f.index) == *kind) && fieldColumn(f.caption) == column)
            found.push_back(f.index);
    return found;
}

} // namespace halcyra
