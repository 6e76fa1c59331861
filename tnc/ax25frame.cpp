// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "ax25frame.h"

namespace halcyra::tnc {

namespace {

constexpr std::size_t kAddressLength = 7;
constexpr std::size_t kCallLength = 6;
constexpr std::uint8_t kLastAddress = 0x01; // the extension bit, in an address's SSID byte
constexpr std::uint8_t kRepeated = 0x80;    // H bit of a digipeater, C bit of the others

bool isCallChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Seven bytes: the call's characters shifted left by one, blanks after it,
// then the SSID byte. The extension bit belongs in the SSID byte only; in a
// character byte it marks a frame that is no AX.25.
std::optional<Ax25Address> parseAddress(std::span<const std::uint8_t, kAddressLength> bytes)
{
    Ax25Address address;
    std::size_t i = 0;
    for (; i < kCallLength; ++i) {
        if (bytes[i] & kLastAddress)
            return std::nullopt;
        const char c = static_cast<char>(bytes[i] >> 1);
        if (c == ' ')
            break;
        if (!isCallChar(c))
            return std::nullopt;
        address.call.push_back(c);
    }
    for (; i < kCallLength; ++i) {
        if (bytes[i] != (' ' << 1))
            return std::nullopt;
    }
    if (address.call.empty())
        return std::nullopt;
    address.ssid = (bytes[kCallLength] >> 1) & 0x0F;
    address.repeated = (bytes[kCallLength] & kRepeated) != 0;
    return address;
}

// `highBit`: a digipeater's H bit, or the C bit that marks a command in the destination.
void appendAddress(std::vector<std::uint8_t> &out, const Ax25Address &address, bool highBit, bool last)
{
    for (std::size_t i = 0; i < kCallLength; ++i) {
        const char c = i < address.call.size() ? address.call[i] : ' ';
        out.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) << 1));
    }
    // The two reserved bits are set, as senders set them.
    auto ssid = static_cast<std::uint8_t>(0x60 | ((address.ssid & 0x0F) << 1));
    if (highBit)
        ssid |= kRepeated;
    if (last)
        ssid |= kLastAddress;
    out.push_back(ssid);
}

} // namespace

std::string addressText(const Ax25Address &address)
{
    if (address.ssid == 0)
        return address.call;
    return address.call + '-' + std::to_string(address.ssid);
}

std::optional<Ax25Address> parseAddressText(std::string_view text)
{
    Ax25Address address;
    const std::size_t dash = text.find('-');
    for (char c : text.substr(0, dash)) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (!isCallChar(c))
            return std::nullopt;
        address.call.push_back(c);
    }
    if (address.call.empty() || address.call.size() > kCallLength)
        return std::nullopt;
    if (dash != std::string_view::npos) {
        const std::string_view ssid = text.substr(dash + 1);
        // "-0" is not written, but taken; no sign, no leading zero.
        const bool digits = !ssid.empty() && ssid.size() <= 2 && ssid.find_first_not_of("0123456789") == ssid.npos &&
                            !(ssid.size() == 2 && ssid[0] == '0');
        if (!digits || std::stoi(std::string(ssid)) > 15)
            return std::nullopt;
        address.ssid = std::stoi(std::string(ssid));
    }
    return address;
}

std::optional<Ax25Frame> parseAx25(std::span<const std::uint8_t> bytes)
{
    Ax25Frame frame;
    std::size_t at = 0;
    bool last = false;
    for (std::size_t n = 0; !last; ++n) {
        if (n == 2 + kMaxDigipeaters || bytes.size() - at < kAddressLength)
            return std::nullopt;
        const auto field = bytes.subspan(at).first<kAddressLength>();
        auto address = parseAddress(field);
        if (!address)
            return std::nullopt;
        last = (field[kCallLength] & kLastAddress) != 0;
        at += kAddressLength;
        if (n < 2) // there the high bit is the command/response bit, not H
            address->repeated = false;
        if (n == 0) {
            if (last) // a destination without a source
                return std::nullopt;
            frame.destination = std::move(*address);
        } else if (n == 1) {
            frame.source = std::move(*address);
        } else {
            frame.digipeaters.push_back(std::move(*address));
        }
    }
    if (at == bytes.size())
        return std::nullopt;
    frame.control = bytes[at++];
    // I frames (bit 0 clear) and UI frames carry a PID; modulo-128 I frames,
    // with a second control byte, belong to connections a receiver never joins.
    if ((frame.control & 0x01) == 0 || frame.isUi()) {
        if (at == bytes.size())
            return std::nullopt;
        frame.pid = bytes[at++];
    }
    frame.info = bytes.subspan(at);
    return frame;
}

std::vector<std::uint8_t> ax25UiFrame(const Ax25Address &dest, const Ax25Address &source,
                                      const std::vector<Ax25Address> &digis, std::span<const std::uint8_t> info)
{
    std::vector<std::uint8_t> out;
    out.reserve((2 + digis.size()) * kAddressLength + 2 + info.size());
    appendAddress(out, dest, true, false);
    appendAddress(out, source, false, digis.empty());
    for (std::size_t i = 0; i < digis.size(); ++i)
        appendAddress(out, digis[i], digis[i].repeated, i + 1 == digis.size());
    out.push_back(kUiControl);
    out.push_back(kNoLayer3Pid);
    out.insert(out.end(), info.begin(), info.end());
    return out;
}

} // namespace halcyra::tnc
