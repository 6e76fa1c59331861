// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "tncconnection.h"

#include "receivetime.h"
#include "tncreader.h"
#include "tncsource.h"

#include <QSocketNotifier>

#include <algorithm>

#include <poll.h>

namespace halcyra {

TncConnection::TncConnection(QObject *parent) : QObject(parent)
{
    clock_.start();
    due_.setSingleShot(true);
    connect(&due_, &QTimer::timeout, this, [this] { service(0); });
}

TncConnection::~TncConnection() = default;

void TncConnection::open(const TncAddress &address, const std::string &sourceCall)
{
    close();
    source_ = std::make_unique<TncSource>(address);
    reader_ = std::make_unique<tnc::TncReader>(sourceCall);
    source_->onEvent([this](const TncEvent &event) {
        reader_->reset();
        emit said(QString::fromStdString(event.text));
    });
    source_->start(clock_.elapsed());
    rearm();
}

// Disabled before the descriptor it watches is closed, and deleted later:
// this may run within its own signal.
void TncConnection::dropNotifier()
{
    if (!notifier_)
        return;
    notifier_->setEnabled(false);
    notifier_->disconnect(this);
    notifier_.release()->deleteLater();
    notified_ = 0;
}

void TncConnection::close()
{
    dropNotifier();
    due_.stop();
    source_.reset();
    reader_.reset();
}

QString TncConnection::address() const
{
    return source_ ? QString::fromStdString(source_->address().text()) : QString();
}

void TncConnection::service(short revents)
{
    if (!source_)
        return;
    if (notifier_)
        notifier_->setEnabled(false);
    text_.clear();
    source_->service(clock_.elapsed(), revents, [this](std::span<const std::uint8_t> bytes) {
        reader_->feed(
            bytes, utcNow(), [](const archive::LoggedFrame &) {}, [this](std::string_view lines) { text_ += lines; });
    });
    rearm();
    if (!text_.empty())
        emit received(text_);
}

// A notifier for the descriptor and events the source wants now, and a
// timer for its next attempt.
void TncConnection::rearm()
{
    const int fd = source_->fd();
    const short events = fd >= 0 ? source_->events() : 0;
    if (!notifier_ || notifier_->socket() != fd || notified_ != events) {
        dropNotifier();
        notified_ = events;
        if (events != 0) {
            notifier_ = std::make_unique<QSocketNotifier>(fd, events == POLLOUT ? QSocketNotifier::Write
                                                                                : QSocketNotifier::Read);
            connect(notifier_.get(), &QSocketNotifier::activated, this, [this, events] { service(events); });
        }
    } else if (notifier_)
        notifier_->setEnabled(true);
    if (const std::optional<std::int64_t> at = source_->dueAt())
        due_.start(static_cast<int>(std::clamp<std::int64_t>(*at - clock_.elapsed(), 0, 60'000)));
    else
        due_.stop();
}

} // namespace halcyra
