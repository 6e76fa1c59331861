// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// A database server that accepts connections and never answers, on
// 127.0.0.1: the archive address of a server that hangs.

#pragma once

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace halcyra::test {

class SilentServer {
public:
    SilentServer()
    {
        QVERIFY(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket *socket = server_.nextPendingConnection())
                sockets_.emplace_back(socket);
        });
    }

    // Long enough for any check, where libpq would give up after 5 s.
    std::string uri() const
    {
        return "postgresql://ham@127.0.0.1:" + std::to_string(server_.serverPort()) + "/archive?connect_timeout=15";
    }
    // Connections open now: a client that gave up has closed its own.
    int waiting() const
    {
        return static_cast<int>(std::count_if(sockets_.begin(), sockets_.end(), [](const auto &s) {
            return s->state() == QAbstractSocket::ConnectedState;
        }));
    }
    // Closes every connection and stops listening: a client learns at once that there is no server.
    void hangUp()
    {
        server_.close();
        sockets_.clear();
    }

private:
    QTcpServer server_;
    std::vector<std::unique_ptr<QTcpSocket>> sockets_;
};

// Runs the event loop for `ms` with a zero timer in it every few
// milliseconds; returns the longest any of them waited for its turn.
inline qint64 longestEventDelay(int ms)
{
    qint64 longest = 0;
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < ms) {
        QElapsedTimer posted;
        posted.start();
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        while (!ran)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        longest = std::max(longest, posted.elapsed());
        QTest::qWait(10);
    }
    return longest;
}

} // namespace halcyra::test
