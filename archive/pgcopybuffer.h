// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace halcyra::archive::pg {

// COPY's binary format, written into one buffer per batch: the server takes
// every value as its bytes, and parses no text.
class CopyBuffer {
public:
    CopyBuffer();

    // Starts a row of `fields` values.
    void row(int fields);
    void null();
    void bytes(std::string_view value);
    void bytes(std::span<const std::uint8_t> value);
    void boolean(bool value);
    void int8(std::int64_t value);
    void float8(double value);

    // The buffer with its trailer, for Connection::copyIn.
    std::string_view finish();

private:
    void putInt(std::uint64_t value, int size);

    std::string data_;
};

} // namespace halcyra::archive::pg
