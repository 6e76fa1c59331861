// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "tncaddress.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace halcyra {

struct TncPolicy {
    std::int64_t firstRetryMs = 1'000;
    std::int64_t lastRetryMs = 30'000;
    std::int64_t connectTimeoutMs = 10'000;
    // A connection that held this long, or brought bytes, was a TNC at work:
    // the next loss is tried again soon. One that the far end closes at once
    // (a TNC with no room for another client) keeps the pause growing.
    std::int64_t steadyMs = 10'000;
    // Read at most this much per service(), so that the caller's archive
    // writes and signals get their turn when a TNC floods.
    std::size_t readBudget = 256 * 1024;
};

// What the caller says, once per loss and once per recovery.
struct TncEvent {
    enum class Kind : std::uint8_t {
        Connected, // a connection stands: the bytes that follow are a new stream
        Lost,      // the TNC cannot be reached, or went away: tried again
    };
    Kind kind;
    std::string text;
};

// A connection to a TNC that speaks KISS, over TCP or a serial line, kept
// up without end: a TNC that is not there, or goes away (closed, unplugged),
// is tried again with a growing pause. Failed attempts in a row are said
// once; the next connection once.
//
// Plain C++ and single-threaded, for a poll(2) loop (the station) or a
// socket notifier (the window): the caller polls fd() for events(), and
// calls service() after the poll and when dueAt() has come, with its own
// monotonic clock.
class TncSource {
public:
    using BytesHandler = std::function<void(std::span<const std::uint8_t>)>;
    using EventHandler = std::function<void(const TncEvent &)>;

    explicit TncSource(TncAddress address, TncPolicy policy = {});
    ~TncSource();
    TncSource(const TncSource &) = delete;
    TncSource &operator=(const TncSource &) = delete;

    void onEvent(EventHandler handler) { event_ = std::move(handler); }

    // The first attempt.
    void start(std::int64_t nowMs);
    // Ends the connection and every further attempt.
    void stop();

    // -1 while a next attempt is waited for, or after stop().
    int fd() const { return fd_; }
    // For pollfd.events: POLLOUT while connecting, POLLIN once connected.
    short events() const;
    // When service() has work without fd() being ready: the next attempt,
    // or the end of a connection attempt's patience.
    std::optional<std::int64_t> dueAt() const;
    bool connected() const { return state_ == State::Open; }
    const TncAddress &address() const { return address_; }

    // Handles what poll() said for fd() (`revents`; 0 for none), reads what
    // the TNC sent into onBytes, and makes the attempt that is due.
    void service(std::int64_t nowMs, short revents, const BytesHandler &onBytes);

private:
    enum class State : std::uint8_t { Waiting, Connecting, Open, Stopped };

    void attempt(std::int64_t nowMs);
    void opened(std::int64_t nowMs);
    void failed(std::int64_t nowMs, const std::string &why);
    void readAll(std::int64_t nowMs, const BytesHandler &onBytes);
    void closeFd();
    void say(TncEvent::Kind kind, std::string text) const;

    TncAddress address_;
    TncPolicy policy_;
    State state_ = State::Waiting;
    int fd_ = -1;
    std::int64_t retryAt_ = 0;
    std::int64_t retryDelay_ = 0;
    std::int64_t connectingSince_ = 0;
    std::int64_t openedAt_ = 0;
    bool gotBytes_ = false;
    bool everConnected_ = false;
    bool saidLoss_ = false;
    std::vector<std::uint8_t> buffer_;
    EventHandler event_;
};

} // namespace halcyra
