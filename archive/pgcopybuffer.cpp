// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "pgcopybuffer.h"

#include <bit>

namespace halcyra::archive::pg {

CopyBuffer::CopyBuffer()
{
    static constexpr char kSignature[] = "PGCOPY\n\377\r\n"; // and its NUL
    data_.append(kSignature, sizeof kSignature);
    putInt(0, 4); // flags
    putInt(0, 4); // header extension
}

void CopyBuffer::row(int fields)
{
    putInt(static_cast<std::uint64_t>(fields), 2);
}

void CopyBuffer::null()
{
    putInt(0xFFFFFFFF, 4);
}

void CopyBuffer::bytes(std::string_view value)
{
    putInt(value.size(), 4);
    data_.append(value);
}

void CopyBuffer::bytes(std::span<const std::uint8_t> value)
{
    putInt(value.size(), 4);
    data_.append(reinterpret_cast<const char *>(value.data()), value.size());
}

void CopyBuffer::boolean(bool value)
{
    putInt(1, 4);
    data_ += value ? '\1' : '\0';
}

void CopyBuffer::int8(std::int64_t value)
{
    putInt(8, 4);
    putInt(static_cast<std::uint64_t>(value), 8);
}

void CopyBuffer::float8(double value)
{
    int8(static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(value)));
}

std::string_view CopyBuffer::finish()
{
    putInt(0xFFFF, 2);
    return data_;
}

void CopyBuffer::putInt(std::uint64_t value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        data_ += static_cast<char>(value >> shift & 0xFF);
}

} // namespace halcyra::archive::pg
