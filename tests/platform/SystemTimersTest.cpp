// The production timers, inspected rather than waited for.
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

namespace pierline {
namespace {

QTimer* newestTimer(const QList<QTimer*>& before) {
    for (QTimer* timer : QCoreApplication::instance()->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
        if (!before.contains(timer))
            return timer;
    return nullptr;
}

TEST(SystemTimers, ArePreciseAndKeepTheirIntervalToTheMillisecond) {
    const std::unique_ptr<Timers> timers = createSystemTimers();
    for (const auto& [seconds, ms] : {std::pair{3.0, 3000}, std::pair{0.9999, 1000}, std::pair{3.5, 3500}}) {
        const QList<QTimer*> before = QCoreApplication::instance()->findChildren<QTimer*>();
        const TimerId id = timers->schedule(seconds, false, [] {});
        QTimer* timer = newestTimer(before);
        ASSERT_NE(timer, nullptr);
        EXPECT_EQ(timer->timerType(), Qt::PreciseTimer) << seconds;
        EXPECT_EQ(timer->interval(), ms) << seconds;
        timers->cancel(id);
    }
}

} // namespace
} // namespace pierline
