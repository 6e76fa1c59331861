// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "logbuffer.h"

#include <cstddef>
#include <string>

// The log box's arithmetic over the bytes of a LogBuffer: columns, the
// cursor's steps and words. Positions are byte offsets into the text.
namespace halcyra::logtext {

// A tab reaches the next multiple of eight columns; every other byte is one.
constexpr std::size_t kTabWidth = 8;
constexpr std::size_t advance(char c, std::size_t column)
{
    return c == '\t' ? kTabWidth - column % kTabWidth : 1;
}
constexpr bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
constexpr bool isLineEndByte(char c)
{
    return c == '\n' || c == '\r';
}

// The column of a position in its line.
std::size_t columnOf(const LogBuffer &buffer, std::size_t position);
// The position in `line` nearest to `column`: in a tab, the nearer of its
// two sides; beyond the line's text, its end.
std::size_t positionAtColumn(const LogBuffer &buffer, std::size_t line, std::size_t column);

// One character back or on: a line end's CR LF is one character.
std::size_t stepBack(const LogBuffer &buffer, std::size_t position);
std::size_t stepForward(const LogBuffer &buffer, std::size_t position);
// Where Ctrl+Right goes, as in Qt's text boxes: past the word and the blanks
// after it, or over the line end.
std::size_t wordEnd(const LogBuffer &buffer, std::size_t position);
// Where Ctrl+Left goes: to the start of the word, over the blanks before it,
// or back over the line end before the position.
std::size_t wordStart(const LogBuffer &buffer, std::size_t position);

struct Span {
    std::size_t from = 0;
    std::size_t to = 0;
    bool operator==(const Span &) const = default;
};
// The word (a hex pair, a time) or the run of blanks at `position`, which a
// double click selects; empty on a line end and at the end of the text.
Span wordAt(const LogBuffer &buffer, std::size_t position);

// What a row of the view shows of `line` from column `firstColumn` on, for
// at least `count` columns: tabs as blanks and control characters as a
// middle dot, one Latin-1 byte a column. A line of a megabyte is not walked
// byte by byte.
struct ShownColumns {
    std::string text;
    // Where the text starts: left of the column asked for when a tab is cut
    // by the view's edge.
    std::size_t firstColumn = 0;
    std::size_t lineColumns = 0; // the whole line, at least, beyond what was walked
};
ShownColumns shownColumns(const LogBuffer &buffer, std::size_t line, std::size_t firstColumn, std::size_t count);

} // namespace halcyra::logtext
