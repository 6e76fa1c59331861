// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "columns.h"
#include "fields.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra::archive {

// The public face of an archive, documented in the README: users write SQL
// against the views t1_records and t2_records, so their names and columns only
// ever grow, and kSchemaVersion counts the changes. Version 2 added the
// AX.25 frame a TNC handed over (ax25_hex); an archive of version 1 is
// upgraded by the first program of version 2 that writes it.
inline constexpr int kSchemaVersion = 2;
inline constexpr std::int32_t kApplicationId = 0x48414C43; // "HALC"

// The column of a catalogue field; limits files name fields by it too.
using halcyra::fieldColumn;

inline std::string_view recordsView(FrameKind kind)
{
    return kind == FrameKind::T1 ? "t1_records" : "t2_records";
}

// The CREATE VIEW of a kind's records, the same in both stores but for how
// the frame and the AX.25 frame become their hex text and how a column name
// is quoted: users' SQL reads either store alike. The columns of version 2
// come after those of version 1, so that a query that names columns by their
// place reads an upgraded archive as before.
std::string recordsViewSql(FrameKind kind, std::string_view frameHexSql, std::string_view ax25HexSql,
                           std::string_view quote);

// The program's own tables, which the views read; their names are not for users.
inline std::string_view framesTable(FrameKind kind)
{
    return kind == FrameKind::T1 ? "t1_frames" : "t2_frames";
}

// The catalogue indexes of a kind's fields, in column order.
inline constexpr int firstField(FrameKind kind)
{
    return kind == FrameKind::T1 ? 0 : kFirstT2Field;
}
inline constexpr int fieldEnd(FrameKind kind)
{
    return kind == FrameKind::T1 ? kFirstT2Field : kFieldCount;
}

// How the archive keys a frame: a payload of hex digits as its bytes, so that
// the letter case and the blanks of a reception do not make it another frame
// (and half the size). A damaged payload, one with other characters, keeps
// its text, upper case, with anything but printable ASCII as "?": the window
// decodes those characters alike, as ending a reading.
struct FrameKey {
    std::array<char, kT1FrameLength - 2> data{};
    std::size_t size = 0;
    bool binary = false;

    std::string_view view() const { return {data.data(), size}; }
};
FrameKey frameKey(std::string_view payload);

// The payload's text in the archive: upper-case hex digits, or the damaged text.
std::string frameHex(std::string_view key, bool binary);

// Every text column holds UTF-8, which users' tools and a server's text type
// expect, and both stores hold the same text. A frame time comes from the
// log, whose bytes the window reads as Latin-1: they are read so here too. A
// source path or station name comes from the command line, a file name or
// the window, where text is UTF-8: one that is valid UTF-8 stays as it is,
// and one that is not is read as Latin-1, which keeps every byte recoverable.
// NUL, which a server's text cannot hold, becomes "?".
enum class TextFrom : std::uint8_t { Log, Name };
std::string archiveText(std::string_view bytes, TextFrom from);

// A frame time as the archive holds it, back as the log's bytes; text that is
// not valid UTF-8 (written raw by an earlier version) stays as it is, and a
// character beyond Latin-1 (written by another program) becomes "?".
std::string frameTimeBytes(std::string_view stored);

} // namespace halcyra::archive
