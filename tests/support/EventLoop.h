#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFuture>
#include <QThread>

namespace pierline::test {

// Runs the main queue until `done` holds, polling in real time (bounded): for other threads and
// child processes, never for timers.
template <typename Pred> bool waitUntil(Pred done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

template <typename T> bool waitFor(const QFuture<T>& future, int timeoutMs = 10000) {
    return waitUntil([&] { return future.isFinished(); }, timeoutMs);
}

// Delivers what was queued for the main thread.
inline void drainMainQueue() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace pierline::test
