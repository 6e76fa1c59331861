// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "tncopen.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace halcyra {

namespace {

speed_t speedOf(int baud)
{
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    default:
        return B115200; // the address parser lets no other rate through
    }
}

// A TNC whose machine vanished from the network (a cable pulled, a host
// switched off) sends no FIN; keepalives find it gone within two minutes
// rather than the system's two hours.
void keepAlive(int fd)
{
    const int on = 1, idle = 60, interval = 10, count = 3;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

std::string systemError(const std::string &what)
{
    return what + ": " + std::strerror(errno);
}

} // namespace

TncOpening openTcp(const TncAddress &address)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo *found = nullptr;
    const std::string port = std::to_string(address.port);
    if (const int error = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found); error != 0)
        return {-1, false, "cannot find " + address.host + ": " + ::gai_strerror(error)};
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, ::freeaddrinfo);
    // The first address only: the others are tried at the next attempt's
    // lookup, which the resolver orders anew.
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, found->ai_protocol);
    if (fd < 0)
        return {-1, false, systemError("cannot make a socket")};
    keepAlive(fd);
    if (::connect(fd, found->ai_addr, found->ai_addrlen) == 0)
        return {fd, false, {}};
    if (errno == EINPROGRESS)
        return {fd, true, {}};
    TncOpening failed{-1, false, std::strerror(errno)};
    ::close(fd);
    return failed;
}

TncOpening openSerial(const TncAddress &address)
{
    const int fd = ::open(address.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {-1, false, std::strerror(errno)};
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        TncOpening failed{-1, false, errno == ENOTTY ? "not a serial device" : std::strerror(errno)};
        ::close(fd);
        return failed;
    }
    // Every byte as it comes: no line editing, no echo, no translation of
    // CR or NL, no XON/XOFF (KISS frames carry those bytes as data).
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS | CSTOPB | PARENB);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, speedOf(address.baud));
    ::cfsetospeed(&settings, speedOf(address.baud));
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        TncOpening failed{-1, false, systemError("cannot set " + std::to_string(address.baud) + " baud")};
        ::close(fd);
        return failed;
    }
    return {fd, false, {}};
}

std::string connectionError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    return error == 0 ? std::string() : std::strerror(error);
}

} // namespace halcyra
