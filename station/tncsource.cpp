// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "tncsource.h"

#include "tncopen.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace halcyra {

TncSource::TncSource(TncAddress address, TncPolicy policy)
    : address_(std::move(address)), policy_(policy), buffer_(16 * 1024)
{}

TncSource::~TncSource()
{
    closeFd();
}

void TncSource::start(std::int64_t nowMs)
{
    retryDelay_ = policy_.firstRetryMs;
    attempt(nowMs);
}

void TncSource::stop()
{
    closeFd();
    state_ = State::Stopped;
}

short TncSource::events() const
{
    return state_ == State::Connecting ? POLLOUT : state_ == State::Open ? POLLIN : 0;
}

std::optional<std::int64_t> TncSource::dueAt() const
{
    if (state_ == State::Waiting)
        return retryAt_;
    if (state_ == State::Connecting)
        return connectingSince_ + policy_.connectTimeoutMs;
    return std::nullopt;
}

void TncSource::service(std::int64_t nowMs, short revents, const BytesHandler &onBytes)
{
    switch (state_) {
    case State::Waiting:
        if (nowMs >= retryAt_)
            attempt(nowMs);
        break;
    case State::Connecting:
        if (revents != 0) {
            if (const std::string error = connectionError(fd_); error.empty())
                opened(nowMs);
            else
                failed(nowMs, error);
        } else if (nowMs >= connectingSince_ + policy_.connectTimeoutMs)
            failed(nowMs, "no answer");
        break;
    case State::Open:
        if (revents != 0)
            readAll(nowMs, onBytes);
        break;
    case State::Stopped:
        break;
    }
}

void TncSource::attempt(std::int64_t nowMs)
{
    const TncOpening opening = address_.kind == TncAddress::Kind::Tcp ? openTcp(address_) : openSerial(address_);
    if (opening.fd < 0) {
        failed(nowMs, opening.error);
        return;
    }
    fd_ = opening.fd;
    if (opening.connecting) {
        state_ = State::Connecting;
        connectingSince_ = nowMs;
    } else
        opened(nowMs);
}

void TncSource::opened(std::int64_t nowMs)
{
    state_ = State::Open;
    openedAt_ = nowMs;
    gotBytes_ = false;
    say(TncEvent::Kind::Connected, (everConnected_ || saidLoss_ ? "connected to " + address_.text() + " again"
                                                                : "connected to " + address_.text()));
    everConnected_ = true;
    saidLoss_ = false;
}

void TncSource::failed(std::int64_t nowMs, const std::string &why)
{
    const bool wasOpen = state_ == State::Open;
    closeFd();
    if (wasOpen && (gotBytes_ || nowMs - openedAt_ >= policy_.steadyMs))
        retryDelay_ = policy_.firstRetryMs;
    state_ = State::Waiting;
    retryAt_ = nowMs + retryDelay_;
    if (!saidLoss_) {
        saidLoss_ = true;
        say(TncEvent::Kind::Lost,
            (wasOpen ? "lost " + address_.text() + " (" : "cannot reach " + address_.text() + " (") + why +
                "): trying again, at longer and longer pauses up to " + std::to_string(policy_.lastRetryMs / 1000) +
                " s");
    }
    retryDelay_ = std::min(retryDelay_ * 2, policy_.lastRetryMs);
}

void TncSource::readAll(std::int64_t nowMs, const BytesHandler &onBytes)
{
    for (std::size_t taken = 0; taken < policy_.readBudget;) {
        const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
        if (n > 0) {
            gotBytes_ = true;
            taken += static_cast<std::size_t>(n);
            onBytes(std::span<const std::uint8_t>(buffer_.data(), static_cast<std::size_t>(n)));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        // A pseudo-terminal or USB adapter that went away reads EIO; a TCP
        // peer that closed reads 0.
        failed(nowMs, n != 0                                   ? std::strerror(errno)
                      : address_.kind == TncAddress::Kind::Tcp ? "closed by the TNC"
                                                               : "the line hung up");
        return;
    }
}

void TncSource::closeFd()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void TncSource::say(TncEvent::Kind kind, std::string text) const
{
    if (event_)
        event_(TncEvent{kind, std::move(text)});
}

} // namespace halcyra
