// Stopping Plank when it does not stop by itself, against stand-in processes and virtual time.
#include "targets/plank/PlankSession.h"
#include "support/VirtualClock.h"
#include "targets/DockTargetError.h"

#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

namespace pierline {
namespace {

// A process that ignores SIGTERM, as a Plank whose handler deadlocked does in effect.
std::unique_ptr<QProcess> startIgnoringTerm() {
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { ::signal(SIGTERM, SIG_IGN); });
    process->start("sleep", {"600"});
    EXPECT_TRUE(process->waitForStarted());
    return process;
}

TEST(PlankStop, AProcessThatIgnoresTheQuitAndSigtermIsKilledAfterTheTimeoutAndItsArgumentsKept) {
    test::VirtualTime time;
    auto stuck = startIgnoringTerm();
    const double before = time.clock.monotonicSeconds();

    const PlankSession::Launch launch = PlankSession("dock1").stop(stuck->processId(), 10);
    EXPECT_TRUE(stuck->waitForFinished(5000));
    EXPECT_EQ(stuck->exitStatus(), QProcess::CrashExit);
    // SIGTERM was given its time before the kill.
    EXPECT_GE(time.clock.monotonicSeconds() - before, 10);
    EXPECT_EQ(launch.arguments, QStringList({"600"}));
}

TEST(PlankStop, AProcessThatIsStoppedIsKilledToo) {
    test::VirtualTime time;
    QProcess frozen;
    frozen.start("sleep", {"600"});
    ASSERT_TRUE(frozen.waitForStarted());
    ASSERT_EQ(::kill(static_cast<pid_t>(frozen.processId()), SIGSTOP), 0);
    EXPECT_NO_THROW(PlankSession("dock1").stop(frozen.processId(), 4));
    EXPECT_TRUE(frozen.waitForFinished(5000));
}

} // namespace
} // namespace pierline
