#pragma once

#include <QDateTime>
#include <QObject>
#include <functional>
#include <memory>

namespace pierline {

// Wall time, monotonic time and blocking sleeps for background waits. Injected so tests can
// run cooldowns, grace periods and pauses on a virtual clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;           // wall clock, UTC
    virtual double monotonicSeconds() const = 0; // seconds from an arbitrary origin
    virtual void sleep(double seconds) = 0;      // blocks the calling (background) thread

    static Clock& shared();
    static void setShared(Clock* clock); // nullptr restores the system clock
};

std::unique_ptr<Clock> createSystemClock();

using TimerId = quint64;

// One-shot and repeating timers delivered on the main queue.
class Timers {
public:
    virtual ~Timers() = default;
    virtual TimerId schedule(double seconds, bool repeating, std::function<void()> fire) = 0;
    virtual void cancel(TimerId id) = 0;

    static Timers& shared();
    static void setShared(Timers* timers);
};

// Delivered on the main queue, or on the thread of `context` (which outlives the timers).
std::unique_ptr<Timers> createSystemTimers(QObject* context = nullptr);

} // namespace pierline
