// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "tncaddress.h"

#include <string>

namespace halcyra {

// A descriptor on its way to a TNC, non-blocking and close-on-exec, or why
// there is none.
struct TncOpening {
    int fd = -1;
    bool connecting = false; // TCP: writable once the connection stands (SO_ERROR says how it went)
    std::string error;
};

// Begins a TCP connection to the address's host and port. The host name is
// looked up here, which blocks while the resolver waits; a TNC is nearly
// always given by its number or as localhost.
TncOpening openTcp(const TncAddress &address);

// Opens the serial device in raw mode at the address's baud rate, 8N1,
// without flow control, and without becoming the process's terminal.
TncOpening openSerial(const TncAddress &address);

// The outcome of a connection begun by openTcp: empty once it stands.
std::string connectionError(int fd);

} // namespace halcyra
