#include "platform/Clock.h"

#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QMetaObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace pierline {
namespace {

class SystemClock : public Clock {
public:
    SystemClock() { elapsed_.start(); }
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    double monotonicSeconds() const override { return static_cast<double>(elapsed_.nsecsElapsed()) / 1e9; }
    void sleep(double seconds) override {
        if (seconds > 0)
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }

private:
    QElapsedTimer elapsed_;
};

// QTimer-backed timers that live on the thread of their context (the main thread's by default).
class SystemTimers : public Timers {
public:
    explicit SystemTimers(QObject* context) : context_(context) {}

    TimerId schedule(double seconds, bool repeating, std::function<void()> fire) override {
        const TimerId id = next_.fetch_add(1);
        runOnContext([&] {
            auto* timer = new QTimer(context_ ? context_ : QCoreApplication::instance());
            timer->setSingleShot(!repeating);
            // Coarse timers may fire 5 % early or late: scope mode, multi-press windows, cooldowns
            // and countdowns are timed to the millisecond.
            timer->setTimerType(Qt::PreciseTimer);
            timer->setInterval(static_cast<int>(std::lround(seconds * 1000.0)));
            QObject::connect(timer, &QTimer::timeout, timer, [this, id, repeating, fire] {
                if (!repeating)
                    cancel(id);
                fire();
            });
            {
                std::lock_guard lock(mutex_);
                timers_.insert(id, timer);
            }
            timer->start();
        });
        return id;
    }

    void cancel(TimerId id) override {
        QTimer* timer = nullptr;
        {
            std::lock_guard lock(mutex_);
            timer = timers_.take(id);
        }
        if (!timer)
            return;
        const auto end = [timer] {
            timer->stop();
            timer->deleteLater();
        };
        if (context_)
            QMetaObject::invokeMethod(context_, end, Qt::QueuedConnection);
        else
            runOnMainAsync(end);
    }

private:
    void runOnContext(const std::function<void()>& work) {
        if (!context_)
            runOnMainSync(work);
        else if (context_->thread() == QThread::currentThread())
            work();
        else
            QMetaObject::invokeMethod(context_, work, Qt::BlockingQueuedConnection);
    }

    QObject* context_;
    std::atomic<TimerId> next_{1};
    std::mutex mutex_;
    QHash<TimerId, QTimer*> timers_;
};

std::atomic<Clock*> g_clock{nullptr};
std::atomic<Timers*> g_timers{nullptr};

} // namespace

std::unique_ptr<Clock> createSystemClock() {
    return std::make_unique<SystemClock>();
}
std::unique_ptr<Timers> createSystemTimers(QObject* context) {
    return std::make_unique<SystemTimers>(context);
}

Clock& Clock::shared() {
    static const std::unique_ptr<Clock> system = createSystemClock();
    Clock* injected = g_clock.load();
    return injected ? *injected : *system;
}

void Clock::setShared(Clock* clock) {
    g_clock.store(clock);
}

Timers& Timers::shared() {
    static const std::unique_ptr<Timers> system = createSystemTimers();
    Timers* injected = g_timers.load();
    return injected ? *injected : *system;
}

void Timers::setShared(Timers* timers) {
    g_timers.store(timers);
}

} // namespace pierline
