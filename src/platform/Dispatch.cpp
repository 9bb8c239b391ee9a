#include "Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <array>
#include <exception>

namespace pierline {

bool isMainThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void runOnMainSync(const std::function<void()>& work) {
    auto* app = QCoreApplication::instance();
    if (!app || isMainThread()) {
        work();
        return;
    }
    // An exception must not unwind through Qt's event loop; it is carried back to the caller.
    std::exception_ptr error;
    QMetaObject::invokeMethod(
        app,
        [&] {
            try {
                work();
            } catch (...) {
                error = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (error)
        std::rethrow_exception(error);
}

void runOnMainAsync(std::function<void()> work) {
    auto* app = QCoreApplication::instance();
    if (!app) {
        work();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

QThreadPool& globalQueue(QueuePriority priority) {
    // One pool per priority; blocking waits in tasks (polls, child processes) must not starve
    // each other, so each pool may grow well beyond the core count.
    static std::array<QThreadPool*, 5> pools = [] {
        std::array<QThreadPool*, 5> p{};
        const QThread::Priority threadPriorities[5] = {QThread::HighestPriority, QThread::HighPriority,
                                                       QThread::NormalPriority, QThread::LowPriority,
                                                       QThread::LowestPriority};
        for (int i = 0; i < 5; ++i) {
            p[i] = new QThreadPool();
            p[i]->setMaxThreadCount(64);
            p[i]->setThreadPriority(threadPriorities[i]);
        }
        return p;
    }();
    return *pools[static_cast<int>(priority)];
}

} // namespace pierline
