#pragma once

#include "platform/Clock.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace pierline::test {

// A clock that only moves when told to. In auto-advance mode a sleep moves the clock forward
// at once (pauses and polls cost nothing); in manual mode a sleeper blocks until the test
// advances the clock past its wake-up time.
class VirtualClock : public Clock {
public:
    explicit VirtualClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC));

    QDateTime now() const override;
    double monotonicSeconds() const override;
    void sleep(double seconds) override;

    void advance(double seconds);
    void setAutoAdvance(bool on);
    // Blocks (in real time, bounded) until `count` threads sleep on the clock; false on timeout.
    bool waitForSleepers(int count, int realTimeoutMs = 5000) const;
    int sleepers() const;
    // Sleeps begun in manual mode since the clock was made: tells a sleeper that went back to
    // sleep from one that has not woken yet.
    int sleepsBegun() const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    QDateTime start_;
    double elapsed_ = 0.0;
    bool autoAdvance_ = true;
    int sleepers_ = 0;
    int sleepsBegun_ = 0;
};

// Timers driven by a VirtualClock: they fire, on the thread that advances, when the test
// calls fireDue() after advancing the clock (or advanceAndFire()).
class VirtualTimers : public Timers {
public:
    explicit VirtualTimers(VirtualClock& clock) : clock_(clock) {}

    TimerId schedule(double seconds, bool repeating, std::function<void()> fire) override;
    void cancel(TimerId id) override;

    void advanceAndFire(double seconds, double step = 0.01);
    void fireDue();
    int pending() const;

private:
    struct Entry {
        double due;
        double interval;
        bool repeating;
        std::function<void()> fire;
    };
    VirtualClock& clock_;
    mutable std::mutex mutex_;
    std::map<TimerId, Entry> timers_;
    TimerId next_ = 1;
};

// Installs a virtual clock and timers for a test's lifetime.
class VirtualTime {
public:
    VirtualTime() : timers(clock) {
        Clock::setShared(&clock);
        Timers::setShared(&timers);
    }
    ~VirtualTime() {
        Clock::setShared(nullptr);
        Timers::setShared(nullptr);
    }
    VirtualClock clock;
    VirtualTimers timers;
};

} // namespace pierline::test
