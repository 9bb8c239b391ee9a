#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "support/VirtualClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>

using namespace pierline;

namespace {

// Serves the main queue until `done` holds; the bound only guards against a hang.
template <typename Pred> bool pumpUntil(Pred done) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::yieldCurrentThread();
    }
    return done();
}

} // namespace

TEST(Dispatch, MainSyncRunsOnTheMainThreadFromAnyThread) {
    EXPECT_TRUE(isMainThread());
    bool inline_ran_on_main = false;
    runOnMainSync([&] { inline_ran_on_main = isMainThread(); });
    EXPECT_TRUE(inline_ran_on_main);

    std::atomic<bool> hopped_to_main{false};
    auto future = runAsync(QueuePriority::UserInitiated, [&] {
        EXPECT_FALSE(isMainThread());
        return runOnMainSyncResult([&] {
            hopped_to_main = isMainThread();
            return 42;
        });
    });
    ASSERT_TRUE(pumpUntil([&] { return future.isFinished(); }));
    EXPECT_EQ(future.result(), 42);
    EXPECT_TRUE(hopped_to_main);
}

TEST(NotificationCenter, DeliversOnThePostersThreadOrTheMainQueue) {
    auto& center = NotificationCenter::shared();
    std::atomic<bool> poster_thread_seen_off_main{false};
    std::atomic<bool> main_queue_seen_on_main{false};
    QVariantMap received;
    const auto a = center.addObserver(QStringLiteral("Test.Poster"), Delivery::PosterThread,
                                      [&](const Notification&) { poster_thread_seen_off_main = !isMainThread(); });
    const auto b = center.addObserver(QStringLiteral("Test.Main"), Delivery::MainQueue, [&](const Notification& n) {
        main_queue_seen_on_main = isMainThread();
        received = n.userInfo;
    });
    auto future = runAsync(QueuePriority::Utility, [&] {
        center.post(QStringLiteral("Test.Poster"));
        center.post(QStringLiteral("Test.Main"), {{QStringLiteral("presetID"), QStringLiteral("X")}});
    });
    ASSERT_TRUE(pumpUntil([&] { return future.isFinished() && main_queue_seen_on_main.load(); }));
    EXPECT_TRUE(poster_thread_seen_off_main);
    EXPECT_EQ(received.value(QStringLiteral("presetID")).toString(), QStringLiteral("X"));

    // A removed observer hears nothing more; other names never reach it.
    center.removeObserver(b);
    main_queue_seen_on_main = false;
    center.post(QStringLiteral("Test.Main"));
    center.post(QStringLiteral("Test.Other"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(main_queue_seen_on_main);
    center.removeObserver(a);
}

TEST(VirtualClock, ManualSleepersWakeOnlyWhenTheClockPassesTheirTime) {
    test::VirtualTime time;
    time.clock.setAutoAdvance(false);
    std::atomic<bool> woke{false};
    auto future = runAsync(QueuePriority::Background, [&] {
        Clock::shared().sleep(2.0);
        woke = true;
    });
    ASSERT_TRUE(time.clock.waitForSleepers(1));
    time.clock.advance(1.9);
    EXPECT_EQ(time.clock.sleepers(), 1);
    EXPECT_FALSE(woke);
    time.clock.advance(0.1);
    future.waitForFinished();
    EXPECT_TRUE(woke);

    int fired = 0;
    Timers::shared().schedule(0.5, true, [&] { ++fired; });
    time.timers.advanceAndFire(1.6, 0.1);
    EXPECT_EQ(fired, 3);
}
