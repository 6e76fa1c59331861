// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archivethread.h"

#include <QThread>

#include <atomic>

namespace halcyra {

ArchiveThread::ArchiveThread(QDeadlineTimer::ForeverConstant, QObject *parent)
    : QObject(parent), patience_([] { return QDeadlineTimer(QDeadlineTimer::Forever); })
{
    start();
}

ArchiveThread::ArchiveThread(int patienceMs, QObject *parent)
    : QObject(parent), patience_([patienceMs] { return QDeadlineTimer(patienceMs); })
{
    start();
}

void ArchiveThread::start()
{
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("archive"));
    worker_ = new detail::ArchiveWorker;
    worker_->moveToThread(thread_);
    // Queued: the reply runs here, and not at all once this object is gone.
    connect(
        worker_, &detail::ArchiveWorker::replied, this, [](const std::function<void()> &reply) { reply(); },
        Qt::QueuedConnection);
    thread_->start();
}

ArchiveThread::~ArchiveThread()
{
    disconnect(worker_, nullptr, this, nullptr);
    // After the jobs given: they are run, not dropped.
    QMetaObject::invokeMethod(
        worker_, [thread = thread_] { thread->quit(); }, Qt::QueuedConnection);
    if (thread_->wait(patience_())) {
        delete worker_;
        delete thread_;
        return;
    }
    // Still inside a job (a server that does not answer): the window goes
    // now, the thread when the job ends.
    QThread *thread = thread_;
    detail::ArchiveWorker *worker = worker_;
    auto claimed = std::make_shared<std::atomic_flag>();
    connect(thread, &QThread::finished, [worker, thread, claimed] {
        if (claimed->test_and_set())
            return;
        delete worker;
        thread->deleteLater();
    });
    if (thread->wait(0) && !claimed->test_and_set()) { // it ended just now
        delete worker;
        delete thread;
    }
}

void ArchiveThread::post(std::function<void()> job)
{
    QMetaObject::invokeMethod(worker_, std::move(job), Qt::QueuedConnection);
}

} // namespace halcyra
