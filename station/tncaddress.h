// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// Where a TNC serves KISS: a TCP port (kiss://HOST[:PORT], 8001 unless
// given; an IPv6 host in brackets) or a serial line
// (kiss:/dev/ttyUSB0@9600). The serial form keeps the device a plain path,
// so that a name from /dev/serial/by-id, colons and all, needs no quoting,
// and puts the baud rate after "@", which no device name holds.
struct TncAddress {
    enum class Kind : std::uint8_t { Tcp, Serial };
    Kind kind = Kind::Tcp;
    std::string host;       // Tcp
    std::uint16_t port = 0; // Tcp
    std::string device;     // Serial
    int baud = 0;           // Serial: one of serialBaudRates()

    // The address as the user writes it, for messages and the archive's origin.
    std::string text() const;
};

inline constexpr std::uint16_t kDefaultKissPort = 8001;

// What the user gave names a TNC rather than a log: it starts with "kiss:".
// A log whose name starts so is reached as ./kiss:...
bool isTncAddress(std::string_view text);

struct TncAddressResult {
    std::optional<TncAddress> address;
    std::string error; // why `text` is no TNC address, for "option --follow: ..." and LOG's line
};

TncAddressResult parseTncAddress(std::string_view text);

// "1200, 2400, ... 115200": the rates a serial TNC is opened with.
std::string serialBaudRates();

} // namespace halcyra
