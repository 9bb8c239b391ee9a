#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/TempHome.h"

#include "platform/ProcessRunner.h"
#include "platform/ShellRunner.h"
#include "platform/SystemPaths.h"

#include <QElapsedTimer>
#include <QFile>
#include <csignal>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

// Restores the shared runner's settings after each test.
class ShellRunnerTest : public ::testing::Test {
protected:
    void TearDown() override {
        ShellRunner::shared().setTimeLimit(ShellRunner::kDefaultTimeLimit);
        ShellRunner::shared().setShellProgram(QString());
    }
    TempHome home;
    CapturingLogSink logs;
};

TEST_F(ShellRunnerTest, ReturnsTrimmedOutputOfOneSharedPipe) {
    EXPECT_EQ(runShellCommand("printf '  \\n hello \\n\\n'"), "hello");
    EXPECT_EQ(runShellCommand("echo out; echo err >&2; echo out2"), "out\nerr\nout2");
    EXPECT_TRUE(logs.logged("shell run: echo out; echo err >&2; echo out2"));
    // Output that is not UTF-8 counts as empty.
    EXPECT_EQ(runShellCommand("printf '\\377\\376'"), QString());
    EXPECT_EQ(runShellCommand("printf 'ok\\303'"), QString());
}

TEST_F(ShellRunnerTest, NonZeroExitIsLoggedAndOutputStillReturned) {
    const QString command = "echo broken; exit 3";
    EXPECT_EQ(runShellCommand(command), "broken");
    EXPECT_TRUE(logs.logged(QStringLiteral("shell EXIT 3: %1 output=broken").arg(command)));
    const QString long_ = "printf 'x%.0s' $(seq 1 700); exit 1";
    runShellCommand(long_);
    EXPECT_TRUE(logs.logged(QStringLiteral("shell EXIT 1: %1 output=%2").arg(long_, QString(500, 'x'))));
    // The excerpt counts characters, not UTF-16 units: 500 emoji, none of them cut in half.
    const QString emoji = "printf '\\360\\237\\230\\200%.0s' $(seq 1 600); exit 1";
    runShellCommand(emoji);
    const QString excerpt = QString::fromUtf8("\xF0\x9F\x98\x80").repeated(500);
    EXPECT_TRUE(logs.logged(QStringLiteral("shell EXIT 1: %1 output=%2").arg(emoji, excerpt)));
}

TEST_F(ShellRunnerTest, OverrunIsAbandonedNotStoppedAndItsLateOutputDropped) {
    ShellRunner::shared().setTimeLimit(0.3);
    const QString pidFile = home.file("pid");
    const QString done = home.file("done");
    const QString command = QStringLiteral("echo $$ > '%1'; sleep 1; echo late-output; touch '%2'").arg(pidFile, done);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(runShellCommand(command), QString());
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(logs.printed(QStringLiteral("Warning: shell command timed out: %1").arg(command)));
    EXPECT_TRUE(logs.logged(QStringLiteral("shell TIMED OUT after 0.3s (result discarded): %1").arg(command)));

    // Still running after the runner gave up on it...
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(pidFile); }));
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t pid = file.readAll().trimmed().toInt();
    ASSERT_GT(pid, 0);
    if (!QFile::exists(done)) {
        EXPECT_EQ(::kill(pid, 0), 0);
    }
    // ...it finishes on its own, and what it printed goes nowhere.
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(done); }));
    ShellRunner::shared().setTimeLimit(ShellRunner::kDefaultTimeLimit);
    EXPECT_EQ(runShellCommand("echo next"), "next");
    for (const QString& m : logs.messages())
        EXPECT_FALSE(m.contains("output=late-output")) << m.toStdString();
    for (const QString& l : logs.plainLines())
        EXPECT_FALSE(l.contains("late-output") && !l.contains("timed out"));
}

TEST_F(ShellRunnerTest, ACallersOwnLimitOutputAndLines) {
    const QString command = "printf '  two \\n'; sleep 2";
    ShellOptions options;
    options.timeLimit = 0.2;
    options.trimmed = false;
    options.timedOutLine = "Spacers: timed out: ";
    options.launchFailedLine = "Spacers: cannot launch: ";
    EXPECT_EQ(ShellRunner::shared().runForResult(command, options).output, QString());
    EXPECT_TRUE(logs.printed("Spacers: timed out: " + command));
    EXPECT_TRUE(logs.logged(QStringLiteral("shell TIMED OUT after 0.2s (result discarded): %1").arg(command)));
    EXPECT_EQ(ShellRunner::shared().timeLimit(), ShellRunner::kDefaultTimeLimit); // the shared limit stays

    EXPECT_EQ(ShellRunner::shared().runForResult("printf '  two \\n'", options).output, "  two \n");
    ShellRunner::shared().setShellProgram(home.file("no-such-shell"));
    ShellRunner::shared().runForResult("echo hi", options);
    bool printed = false;
    for (const QString& l : logs.plainLines())
        printed |= l.startsWith("Spacers: cannot launch: ") && !l.contains("echo hi");
    EXPECT_TRUE(printed);
}

TEST_F(ShellRunnerTest, AShellThatCannotStartGivesEmptyOutputAndSaysWhy) {
    ShellRunner::shared().setShellProgram(home.file("no-such-shell"));
    EXPECT_EQ(runShellCommand("echo hi"), QString());
    bool printed = false;
    for (const QString& l : logs.plainLines())
        printed |= l.startsWith("Error launching shell command: echo hi - ");
    EXPECT_TRUE(printed);
    bool logged = false;
    for (const QString& m : logs.messages())
        logged |= m.startsWith("shell LAUNCH FAILED: echo hi — ");
    EXPECT_TRUE(logged);
}

TEST(ProcessRunner, SeparatesStreamsAndReportsAFailedLaunch) {
    TempHome home;
    ProcessResult r = runProcess("/bin/sh", {"-c", "cat; echo err >&2; exit 4"}, "input");
    EXPECT_EQ(r.stdoutData, QByteArray("input"));
    EXPECT_EQ(r.stderrData, QByteArray("err\n"));
    EXPECT_EQ(r.exitStatus, 4);

    const QString missing = home.file("missing-tool");
    r = runProcess(missing, {});
    EXPECT_EQ(r.exitStatus, -1);
    EXPECT_TRUE(r.stdoutData.isEmpty());
    EXPECT_TRUE(QString::fromUtf8(r.stderrData).startsWith(QStringLiteral("Failed to launch %1: ").arg(missing)));

    // Children find the emulated tools first and share our home.
    r = runProcess("/bin/sh", {"-c", "command -v defaults; printf %s \"$PIERLINE_HOME\""});
    EXPECT_EQ(QString::fromUtf8(r.stdoutData), SystemPaths::toolPath("defaults") + "\n" + SystemPaths::home());
}

} // namespace
} // namespace pierline::test
