#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include "support/EventLoop.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace pierline;
using pierline::test::waitUntil;

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
    ASSERT_TRUE(waitUntil([&] { return future.isFinished(); }));
    EXPECT_EQ(future.result(), 42);
    EXPECT_TRUE(hopped_to_main);
}

TEST(NotificationCenter, DeliversOnThePostersThreadOrTheMainQueue) {
    auto& center = NotificationCenter::shared();
    std::atomic<bool> poster_thread_seen_off_main{false};
    std::atomic<bool> main_queue_seen_on_main{false};
    QVariantMap received;
    const auto a = center.addObserver("Test.Poster", Delivery::PosterThread,
                                      [&](const Notification&) { poster_thread_seen_off_main = !isMainThread(); });
    const auto b = center.addObserver("Test.Main", Delivery::MainQueue, [&](const Notification& n) {
        main_queue_seen_on_main = isMainThread();
        received = n.userInfo;
    });
    auto future = runAsync(QueuePriority::Utility, [&] {
        center.post("Test.Poster");
        center.post("Test.Main", {{"presetID", "X"}});
    });
    ASSERT_TRUE(waitUntil([&] { return future.isFinished() && main_queue_seen_on_main.load(); }));
    EXPECT_TRUE(poster_thread_seen_off_main);
    EXPECT_EQ(received.value("presetID").toString(), "X");

    // A removed observer hears nothing more; other names never reach it.
    center.removeObserver(b);
    main_queue_seen_on_main = false;
    center.post("Test.Main");
    center.post("Test.Other");
    QCoreApplication::processEvents();
    EXPECT_FALSE(main_queue_seen_on_main);
    center.removeObserver(a);
}
