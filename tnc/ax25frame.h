// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra::tnc {

struct Ax25Address {
    std::string call;      // upper-case letters and digits, 1 to 6 of them
    int ssid = 0;          // 0-15
    bool repeated = false; // a digipeater's H bit: it has sent the frame on

    friend bool operator==(const Ax25Address &, const Ax25Address &) = default;
};

// "QZ7ZQ", "QZ7ZQ-5": as stations write an address.
std::string addressText(const Ax25Address &address);
// Reads addressText's text back, in any letter case (a call given on the
// command line); nothing for text that no AX.25 address can hold.
std::optional<Ax25Address> parseAddressText(std::string_view text);

inline constexpr std::size_t kMaxDigipeaters = 8;
inline constexpr std::uint8_t kUiControl = 0x03; // P/F bit clear
inline constexpr std::uint8_t kNoLayer3Pid = 0xF0;

// An AX.25 frame without its FCS, as KISS carries it.
struct Ax25Frame {
    Ax25Address destination, source;
    std::vector<Ax25Address> digipeaters; // at most kMaxDigipeaters
    std::uint8_t control = 0;
    std::optional<std::uint8_t> pid;    // I and UI frames
    std::span<const std::uint8_t> info; // into the bytes parsed

    bool isUi() const { return (control & 0xEF) == kUiControl; }
};

// Nothing for a malformed frame: an address field that does not end, or ends
// too early or after more than kMaxDigipeaters digipeaters, an address
// character that is no letter or digit, a missing control byte, an I or UI
// frame without its PID.
std::optional<Ax25Frame> parseAx25(std::span<const std::uint8_t> bytes);

// A UI frame with no layer 3, for tests and tools; the calls must be valid.
std::vector<std::uint8_t> ax25UiFrame(const Ax25Address &dest, const Ax25Address &source,
                                      const std::vector<Ax25Address> &digis, std::span<const std::uint8_t> info);

} // namespace halcyra::tnc
