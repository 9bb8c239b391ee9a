#include "VirtualClock.h"

#include <chrono>
#include <cmath>
#include <vector>

namespace pierline::test {

VirtualClock::VirtualClock(QDateTime start) : start_(std::move(start)) {}

QDateTime VirtualClock::now() const {
    std::lock_guard lock(mutex_);
    // Rounded, so a sum of steps lands on the millisecond it adds up to.
    return start_.addMSecs(std::llround(elapsed_ * 1000.0));
}

double VirtualClock::monotonicSeconds() const {
    std::lock_guard lock(mutex_);
    return elapsed_;
}

void VirtualClock::sleep(double seconds) {
    std::unique_lock lock(mutex_);
    if (seconds <= 0)
        return;
    if (autoAdvance_) {
        elapsed_ += seconds;
        changed_.notify_all();
        return;
    }
    const double wake = elapsed_ + seconds;
    ++sleepers_;
    ++sleepsBegun_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return elapsed_ >= wake - 1e-9 || autoAdvance_; });
    --sleepers_;
    changed_.notify_all();
}

void VirtualClock::advance(double seconds) {
    std::lock_guard lock(mutex_);
    elapsed_ += seconds;
    changed_.notify_all();
}

void VirtualClock::setAutoAdvance(bool on) {
    std::lock_guard lock(mutex_);
    autoAdvance_ = on;
    changed_.notify_all();
}

bool VirtualClock::waitForSleepers(int count, int realTimeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(realTimeoutMs), [&] { return sleepers_ >= count; });
}

int VirtualClock::sleepers() const {
    std::lock_guard lock(mutex_);
    return sleepers_;
}

int VirtualClock::sleepsBegun() const {
    std::lock_guard lock(mutex_);
    return sleepsBegun_;
}

TimerId VirtualTimers::schedule(double seconds, bool repeating, std::function<void()> fire) {
    std::lock_guard lock(mutex_);
    const TimerId id = next_++;
    timers_[id] = Entry{clock_.monotonicSeconds() + seconds, seconds, repeating, std::move(fire)};
    return id;
}

void VirtualTimers::cancel(TimerId id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

void VirtualTimers::fireDue() {
    for (;;) {
        std::function<void()> fire;
        {
            std::lock_guard lock(mutex_);
            const double now = clock_.monotonicSeconds();
            auto due = timers_.end();
            for (auto it = timers_.begin(); it != timers_.end(); ++it)
                if (it->second.due <= now + 1e-9 && (due == timers_.end() || it->second.due < due->second.due))
                    due = it;
            if (due == timers_.end())
                return;
            fire = due->second.fire;
            if (due->second.repeating && due->second.interval > 0)
                due->second.due += due->second.interval;
            else
                timers_.erase(due);
        }
        fire();
    }
}

void VirtualTimers::advanceAndFire(double seconds, double step) {
    double left = seconds;
    while (left > 1e-9) {
        const double d = left < step ? left : step;
        clock_.advance(d);
        left -= d;
        fireDue();
    }
}

int VirtualTimers::pending() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(timers_.size());
}

} // namespace pierline::test
