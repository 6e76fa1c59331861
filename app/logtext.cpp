// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logtext.h"

#include <algorithm>
#include <cstring>

namespace halcyra::logtext {

namespace {

// Where there is no tab the column is the byte offset: a line of a
// megabyte is not walked byte by byte.
bool holdsTab(std::string_view text, std::size_t from, std::size_t to)
{
    return from < to && std::memchr(text.data() + from, '\t', to - from) != nullptr;
}

// How a byte looks: control characters would draw as nothing or as boxes of
// another width, so they show as a middle dot.
char shownByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || (u >= 0x7F && u < 0xA0) ? '\xB7' : c;
}

} // namespace

std::size_t columnOf(const LogBuffer &buffer, std::size_t position)
{
    const std::string_view text = buffer.text();
    const std::size_t start = buffer.lineStart(buffer.lineOf(position));
    if (!holdsTab(text, start, position))
        return position - start;
    std::size_t column = 0;
    for (std::size_t p = start; p < position; ++p)
        column += advance(text[p], column);
    return column;
}

std::size_t positionAtColumn(const LogBuffer &buffer, std::size_t line, std::size_t column)
{
    const std::string_view text = buffer.text();
    const std::size_t start = buffer.lineStart(line);
    const std::size_t end = buffer.lineEnd(line);
    if (!holdsTab(text, start, std::min(end, start + column)))
        return std::min(end, start + column);
    std::size_t at = 0;
    for (std::size_t p = start; p < end; ++p) {
        const std::size_t width = advance(text[p], at);
        if (column < at + width)
            return (column - at) * 2 < width ? p : p + 1;
        at += width;
    }
    return end;
}

std::size_t stepBack(const LogBuffer &buffer, std::size_t position)
{
    if (position == 0)
        return 0;
    return buffer.insideLineEnd(position - 1) ? position - 2 : position - 1;
}

std::size_t stepForward(const LogBuffer &buffer, std::size_t position)
{
    if (position >= buffer.size())
        return buffer.size();
    return buffer.insideLineEnd(position + 1) ? position + 2 : position + 1;
}

std::size_t wordEnd(const LogBuffer &buffer, std::size_t position)
{
    const std::string_view text = buffer.text();
    if (position < text.size() && isLineEndByte(text[position]))
        return stepForward(buffer, position);
    while (position < text.size() && !isBlank(text[position]) && !isLineEndByte(text[position]))
        ++position;
    while (position < text.size() && isBlank(text[position]))
        ++position;
    return position;
}

std::size_t wordStart(const LogBuffer &buffer, std::size_t position)
{
    const std::string_view text = buffer.text();
    std::size_t p = position;
    while (p > 0 && isBlank(text[p - 1]))
        --p;
    if (p > 0 && isLineEndByte(text[p - 1]))
        return p == position ? stepBack(buffer, position) : p;
    while (p > 0 && !isBlank(text[p - 1]) && !isLineEndByte(text[p - 1]))
        --p;
    return p;
}

Span wordAt(const LogBuffer &buffer, std::size_t position)
{
    const std::string_view text = buffer.text();
    if (position >= text.size() || isLineEndByte(text[position]))
        return {position, position};
    const bool blank = isBlank(text[position]);
    const auto same = [&](char c) { return !isLineEndByte(c) && isBlank(c) == blank; };
    Span word{position, position};
    while (word.from > 0 && same(text[word.from - 1]))
        --word.from;
    while (word.to < text.size() && same(text[word.to]))
        ++word.to;
    return word;
}

ShownColumns shownColumns(const LogBuffer &buffer, std::size_t line, std::size_t firstColumn, std::size_t count)
{
    const std::string_view text = buffer.text();
    const std::size_t start = buffer.lineStart(line);
    const std::size_t end = buffer.lineEnd(line);
    std::size_t p = start, column = 0;
    if (!holdsTab(text, start, std::min(end, start + firstColumn))) {
        p = std::min(end, start + firstColumn);
        column = p - start;
    }
    ShownColumns shown{{}, column, 0};
    for (; p < end && column < firstColumn + count; ++p) {
        const std::size_t width = advance(text[p], column);
        if (column + width > firstColumn) {
            // The bytes left of the view were walked but not kept: the text
            // starts where its first byte does.
            if (shown.text.empty())
                shown.firstColumn = column;
            shown.text.append(text[p] == '\t' ? width : 1, text[p] == '\t' ? ' ' : shownByte(text[p]));
        }
        column += width;
    }
    // Beyond the right edge the rest is at least a column a byte.
    shown.lineColumns = column + (end - p);
    return shown;
}

} // namespace halcyra::logtext
