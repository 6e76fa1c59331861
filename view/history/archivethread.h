// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QDeadlineTimer>
#include <QObject>

#include <functional>
#include <memory>
#include <utility>

class QThread;

namespace halcyra {

namespace detail {
class ArchiveWorker : public QObject {
    Q_OBJECT
signals:
    void replied(const std::function<void()> &reply);
};
} // namespace detail

// A thread of its own for a window's work on an archive. Opening it, a
// server's connect, a query or a write may take seconds (a server that does
// not answer, a lock another program holds), and the window must answer its
// user meanwhile. Jobs run one at a time in the order given, so what they
// share (an Archive is used by one thread at a time) is theirs alone. A
// job's reply runs in the thread that owns this object, as long as the
// object lives.
class ArchiveThread : public QObject {
    Q_OBJECT
public:
    // On destruction the jobs given still run; it waits for them until
    // `patience` has passed, then lets the thread end on its own.
    explicit ArchiveThread(QDeadlineTimer::ForeverConstant, QObject *parent = nullptr);
    explicit ArchiveThread(int patienceMs, QObject *parent = nullptr);
    ~ArchiveThread() override;

    void post(std::function<void()> job);
    // `reply` gets what `job` returned.
    template <typename Job, typename Reply> void post(Job job, Reply reply)
    {
        post([worker = worker_, job = std::move(job), reply = std::move(reply)]() mutable {
            auto result = std::make_shared<decltype(job())>(job());
            emit worker->replied([reply = std::move(reply), result] { reply(std::move(*result)); });
        });
    }

private:
    void start();

    std::function<QDeadlineTimer()> patience_;
    QThread *thread_;
    detail::ArchiveWorker *worker_;
};

} // namespace halcyra
