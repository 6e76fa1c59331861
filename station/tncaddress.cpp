// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "tncaddress.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace halcyra {

namespace {

// The rates TNCs are set to; a rate outside them is a typing error more
// often than a TNC of its own, and termios could not take most of them.
constexpr std::array<int, 8> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

std::optional<int> number(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

TncAddressResult refuse(std::string_view text, const std::string &why)
{
    return {std::nullopt, "\"" + std::string(text) + "\" is no TNC address: " + why};
}

TncAddressResult parseTcp(std::string_view text, std::string_view rest)
{
    TncAddress address;
    address.port = kDefaultKissPort;
    std::string_view host = rest, port;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == rest.npos)
            return refuse(text, "an IPv6 host in brackets lacks its \"]\"");
        host = rest.substr(1, close - 1);
        std::string_view after = rest.substr(close + 1);
        if (!after.empty() && !after.starts_with(':'))
            return refuse(text, "after \"]\" only \":PORT\" may follow");
        if (!after.empty())
            port = after.substr(1);
        if (!after.empty() && port.empty())
            return refuse(text, "the port after \":\" is missing");
    } else if (const std::size_t colon = rest.rfind(':'); colon != rest.npos) {
        if (rest.find(':') != colon)
            return refuse(text, "an IPv6 host goes in brackets, e.g. kiss://[::1]:8001");
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty())
            return refuse(text, "the port after \":\" is missing");
    }
    if (host.empty())
        return refuse(text, "the host is missing (kiss://HOST[:PORT])");
    if (host.find_first_of("/ \t") != host.npos)
        return refuse(text, "a host holds no \"/\" or blanks (kiss://HOST[:PORT])");
    if (!port.empty()) {
        const std::optional<int> value = number(port);
        if (!value || *value < 1 || *value > 65535)
            return refuse(text, "the port is a number from 1 to 65535, not \"" + std::string(port) + "\"");
        address.port = static_cast<std::uint16_t>(*value);
    }
    address.host = std::string(host);
    return {address, {}};
}

TncAddressResult parseSerial(std::string_view text, std::string_view rest)
{
    const std::size_t at = rest.rfind('@');
    if (at == rest.npos)
        return refuse(text, "a serial TNC needs its baud rate, e.g. kiss:/dev/ttyUSB0@9600");
    const std::string_view device = rest.substr(0, at);
    if (!device.starts_with('/'))
        return refuse(text, "the serial device is an absolute path, e.g. kiss:/dev/ttyUSB0@9600");
    const std::optional<int> baud = number(rest.substr(at + 1));
    if (!baud || std::find(kBaudRates.begin(), kBaudRates.end(), *baud) == kBaudRates.end())
        return refuse(text, "the baud rate is one of " + serialBaudRates() + ", not \"" +
                                std::string(rest.substr(at + 1)) + "\"");
    TncAddress address;
    address.kind = TncAddress::Kind::Serial;
    address.device = std::string(device);
    address.baud = *baud;
    return {address, {}};
}

} // namespace

std::string TncAddress::text() const
{
    if (kind == Kind::Serial)
        return "kiss:" + device + "@" + std::to_string(baud);
    const bool v6 = host.find(':') != std::string::npos;
    return "kiss://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool isTncAddress(std::string_view text)
{
    return text.starts_with("kiss:");
}

TncAddressResult parseTncAddress(std::string_view text)
{
    if (!isTncAddress(text))
        return refuse(text, "it starts with kiss:// (TCP) or kiss:/ (a serial device)");
    const std::string_view rest = text.substr(5);
    if (rest.starts_with("//"))
        return parseTcp(text, rest.substr(2));
    return parseSerial(text, rest);
}

std::string serialBaudRates()
{
    std::string list;
    for (const int rate : kBaudRates)
        list += (list.empty() ? "" : ", ") + std::to_string(rate);
    return list;
}

} // namespace halcyra
