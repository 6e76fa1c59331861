// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "tncaddress.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>
#include <string_view>

class QSocketNotifier;

namespace halcyra {

class TncSource;
namespace tnc {
class TncReader;
}

// File > Connect to TNC: the station's TNC source driven from the window's
// event loop, the frames it brings handed on as packet log text (a UTC line
// and the frame's line each), which the log box shows and the archive takes
// as it takes a followed log's.
class TncConnection : public QObject {
    Q_OBJECT
public:
    explicit TncConnection(QObject *parent = nullptr);
    ~TncConnection() override;

    void open(const TncAddress &address, const std::string &sourceCall = "QZ7ZQ");
    void close();
    bool isOpen() const { return source_ != nullptr; }
    // As the user writes it, e.g. "kiss://localhost:8001"; empty when closed.
    QString address() const;

signals:
    void received(std::string_view logText);
    // Connected, lost, connected again: for the status line.
    void said(const QString &message);

private:
    void service(short revents);
    void rearm();
    void dropNotifier();

    std::unique_ptr<TncSource> source_;
    std::unique_ptr<tnc::TncReader> reader_;
    std::unique_ptr<QSocketNotifier> notifier_;
    short notified_ = 0; // the events notifier_ waits for
    QTimer due_;
    QElapsedTimer clock_;
    std::string text_;
};

} // namespace halcyra
