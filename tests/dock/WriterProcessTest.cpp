// The writers driving child processes: stand-in tools record exactly what reached them.
#include "WriterFixtures.h"

#include "dock/DefaultsWriter.h"
#include "dock/DockutilWriter.h"
#include "platform/Log.h"
#include "platform/ShellRunner.h"
#include "support/CapturingLogSink.h"
#include "support/DockPlist.h"
#include "support/StandInTools.h"
#include "support/VirtualClock.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;
using namespace pierline::test::writers;

namespace {

void makeExecutable(const QString& path) {
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Records when the writer hands back and where the clock stood then.
struct FinishProbe {
    int calls = 0;
    double at = -1;
    std::function<void()> callback() {
        return [this] {
            ++calls;
            at = Clock::shared().monotonicSeconds();
            printLine("<finish>");
        };
    }
};

// The writers with stand-in tools that record each call.
class WriterRun : public ::testing::Test {
protected:
    TempHome home;
    VirtualTime time;
    StandInTools tools;
    CapturingLogSink log;
    FinishProbe finish;
};

} // namespace

TEST_F(WriterRun, DockutilCommandsReachTheToolIntactThenPauseAndHandBackBeforeTheLastLine) {
    tools.addRecording("killall");
    // A tool path that only survives correct double-quote escaping.
    const QString toolDir = home.file("opt/My $HOME \"Tools\"");
    QDir().mkpath(toolDir);
    const QString tool = toolDir + "/dockutil";
    QFile::copy(tools.addRecording("dockutil"), tool);
    makeExecutable(tool);

    DockutilWriter::apply(tool, "Work", {"file:///Applications/Bob's%20App.app/", "pierline-spacer-1"},
                          {folder("file:///Users/a/Work%20Docs/", "fan", "stack", "date added")}, finish.callback());

    EXPECT_EQ(tools.calls(),
              (QStringList{"dockutil <--remove> <all> <--no-restart>",
                           "dockutil <--add> </Applications/Bob's App.app> <--no-restart>",
                           "dockutil <--add> <> <--type> <spacer-tile> <--section> <apps> <--after> "
                           "</Applications/Bob's App.app> <--no-restart>",
                           "dockutil <--add> </Users/a/Work Docs> <--view> <fan> <--display> <stack> <--sort> <date> "
                           "<added> <--no-restart>",
                           "killall <Dock>"}));
    EXPECT_EQ(finish.calls, 1);
    EXPECT_DOUBLE_EQ(finish.at, 1.0);
    const QStringList lines = log.plainLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(lines.size() - 3), (QStringList{"Restarting Dock via killall...", "<finish>",
                                                        "applyPresetUsingDockutil finished for preset: Work"}));
}

TEST_F(WriterRun, HangingCommandIsAbandonedAndTheWriteGoesOn) {
    tools.addRecording("killall");
    const QString tool = tools.addRecording("dockutil", "case \"$*\" in *Slow*) sleep 3;; esac");
    ShellRunner::shared().setTimeLimit(0.3);

    DockutilWriter::apply(tool, "Work", {"file:///Applications/Slow.app/", "file:///Applications/Fast.app/"}, {},
                          finish.callback());
    ShellRunner::shared().setTimeLimit(ShellRunner::kDefaultTimeLimit);

    const QStringList calls = tools.calls();
    EXPECT_TRUE(calls.contains("dockutil <--add> </Applications/Fast.app> <--no-restart>"));
    EXPECT_TRUE(calls.contains("killall <Dock>"));
    EXPECT_EQ(finish.calls, 1);
    EXPECT_TRUE(log.printed("Warning: shell command timed out: " + DockutilWriter::quotedToolPath(tool) +
                            " --add '/Applications/Slow.app' --no-restart"));
    EXPECT_TRUE(log.printed("applyPresetUsingDockutil finished for preset: Work"));
}

TEST_F(WriterRun, DefaultsWriterWritesBothListsThenImportsAppsFirstRestartsAndHandsBack) {
    tools.addRecording("defaults");
    tools.addRecording("killall");
    // A temporary folder that must reach defaults as one argument, and a longer leftover from an
    // earlier apply that must not survive the overwrite.
    const QString tmp = home.file("tmp/Bob's temp $dir");
    qputenv("TMPDIR", tmp.toUtf8()); // TempHome restores it
    home.write("tmp/Bob's temp $dir/dockApps.plist", QByteArray(8192, 'x'));
    const QString safari = dirUrl(home.makeBundle("Applications", "Safari", "com.apple.Safari"));

    EXPECT_TRUE(
        DefaultsWriter::apply("Work", {safari, "pierline-spacer-1"}, {folder("/Users/a/Docs")}, finish.callback()));

    const QString appsFile = tmp + "/dockApps.plist";
    const QString itemsFile = tmp + "/dockFolderStacks.plist";
    EXPECT_EQ(tools.calls(), (QStringList{"defaults <import> <com.apple.dock> <" + appsFile + ">",
                                          "defaults <import> <com.apple.dock> <" + itemsFile + ">", "killall <Dock>"}));
    const QVariantMap apps = parsedFile(appsFile).toMap();
    EXPECT_EQ(apps.keys(), QStringList{"persistent-apps"});
    EXPECT_EQ(apps.value("persistent-apps").toList().size(), 2);
    const QVariantMap items = parsedFile(itemsFile).toMap();
    EXPECT_EQ(items.keys(), QStringList{"persistent-others"});
    EXPECT_EQ(items.value("persistent-others").toList().size(), 1);

    EXPECT_EQ(finish.calls, 1);
    EXPECT_DOUBLE_EQ(finish.at, 1.0);
    const QStringList lines = log.plainLines();
    const qsizetype wrote = lines.indexOf("Wrote apps to " + appsFile);
    ASSERT_GE(wrote, 0);
    EXPECT_EQ(lines.mid(wrote),
              (QStringList{"Wrote apps to " + appsFile, "Wrote folder stacks to " + itemsFile,
                           "Import apps result: (defaults method)", "Import folder stacks result: (defaults method)",
                           "Kill result: (defaults method)", "<finish>"}));
    EXPECT_EQ(lines.first(), "Applying preset using defaults: Work");
    EXPECT_EQ(lines.at(1), "Applying 2 apps to Dock (defaults method):");
}

TEST(DefaultsWriterRun, FailedWriteRunsNoCommandAndDoesNotFinish) {
    struct Case {
        const char* name;
        std::function<void(const TempHome&)> arrange;
        QString failingFile;
    };
    const QList<Case> cases = {
        {"missing temporary folder",
         [](const TempHome& home) { qputenv("TMPDIR", home.file("no/such/folder").toUtf8()); }, "dockApps.plist"},
        {"folder in the way of the second file",
         [](const TempHome& home) { QDir().mkpath(home.file("tmp/dockFolderStacks.plist")); },
         "dockFolderStacks.plist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome home;
        VirtualTime time;
        StandInTools tools;
        tools.addRecording("defaults");
        tools.addRecording("killall");
        c.arrange(home);
        CapturingLogSink log;
        FinishProbe finish;

        EXPECT_FALSE(
            DefaultsWriter::apply("Work", {"pierline-spacer-1"}, {folder("/Users/a/Docs")}, finish.callback()));
        EXPECT_TRUE(tools.calls().isEmpty());
        EXPECT_EQ(finish.calls, 0);
        EXPECT_DOUBLE_EQ(time.clock.monotonicSeconds(), 0.0);
        bool reported = false;
        for (const QString& line : log.plainLines())
            reported = reported || (line.startsWith("Error applying preset using defaults: Could not write ") &&
                                    line.contains(c.failingFile));
        EXPECT_TRUE(reported) << log.plainLines().join('\n').toStdString();
        EXPECT_FALSE(log.printedContaining("Wrote apps to"));
    }
}

TEST_F(WriterRun, FindDockutilFixedPathsComeFirstAndMustBeExecutableThenTheLoginShellsSearchPath) {
    if (QStandardPaths::findExecutable("dockutil").isEmpty()) { // else this machine has one on PATH
        EXPECT_EQ(DockutilWriter::findDockutil(), std::nullopt);
        EXPECT_TRUE(log.printed("dockutil check via PATH failed or path not executable: ''"));
    }

    const QString onPath = tools.addRecording("dockutil");
    log.clear();
    EXPECT_EQ(DockutilWriter::findDockutil(), onPath);
    EXPECT_EQ(log.plainLines(), (QStringList{"dockutil not found in common paths, checking PATH using 'command -v'...",
                                             "dockutil found via PATH ('command -v'): " + onPath}));

    const QStringList fixed = SystemPaths::dockutilFixedPaths();
    ASSERT_EQ(fixed.size(), 2);
    home.write(QDir(home.path()).relativeFilePath(fixed.at(0)), "#!/bin/sh\n"); // not executable
    home.write(QDir(home.path()).relativeFilePath(fixed.at(1)), "#!/bin/sh\n");
    makeExecutable(fixed.at(1));
    log.clear();
    EXPECT_EQ(DockutilWriter::findDockutil(), fixed.at(1));
    EXPECT_EQ(log.plainLines(), QStringList{"dockutil found via direct path: " + fixed.at(1)});
    makeExecutable(fixed.at(0));
    EXPECT_EQ(DockutilWriter::findDockutil(), fixed.at(0));
}
