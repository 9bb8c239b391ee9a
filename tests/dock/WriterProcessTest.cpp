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

#include <QRegularExpression>
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

// The stand-in `defaults` keeps a copy of each file it imports and the mode of its folder, since
// the writer removes the folder once the imports ran.
QString recordImports(const StandInTools& tools, const TempHome& home) {
    return tools.addRecording(
        "defaults", "n=$(ls '" + home.file("seen").toUtf8() + "' | wc -l); cp \"$3\" '" + home.file("seen").toUtf8() +
                        "'/$n.plist; stat -c %a \"$(dirname \"$3\")\" >> '" + home.file("modes").toUtf8() + "'");
}

TEST_F(WriterRun, DefaultsWriterWritesBothListsInAPrivateFolderImportsAppsFirstRestartsAndHandsBack) {
    recordImports(tools, home);
    QDir().mkpath(home.file("seen"));
    tools.addRecording("killall");
    // A temporary folder that must reach defaults as one argument, holding someone else's files
    // under the names the writer uses: they are neither used nor touched.
    const QString tmp = home.file("tmp/Bob's temp $dir");
    ScopedEnv tmpdir("TMPDIR", tmp.toUtf8());
    QDir().mkpath(tmp + "/dockApps.plist");
    home.write("tmp/Bob's temp $dir/dockFolderStacks.plist", "foreign");
    const QString safari = dirUrl(home.makeBundle("Applications", "Safari", "com.apple.Safari"));

    EXPECT_TRUE(
        DefaultsWriter::apply("Work", {safari, "pierline-spacer-1"}, {folder("/Users/a/Docs")}, finish.callback()));

    const QStringList calls = tools.calls();
    ASSERT_EQ(calls.size(), 3);
    const QRegularExpression import("^defaults <import> <com.apple.dock> <(" + QRegularExpression::escape(tmp) +
                                    "/pierline-dock-[^/]+)/(\\w+\\.plist)>$");
    const auto first = import.match(calls[0]);
    const auto second = import.match(calls[1]);
    ASSERT_TRUE(first.hasMatch() && second.hasMatch()) << calls.join('\n').toStdString();
    EXPECT_EQ(first.captured(2), "dockApps.plist");
    EXPECT_EQ(second.captured(2), "dockFolderStacks.plist");
    EXPECT_EQ(first.captured(1), second.captured(1));
    EXPECT_EQ(calls[2], "killall <Dock>");
    EXPECT_EQ(readFile(home.file("modes")), "700\n700\n");
    EXPECT_FALSE(QFileInfo::exists(first.captured(1))) << "the folder is removed after the imports";
    EXPECT_TRUE(QFileInfo(tmp + "/dockApps.plist").isDir());
    EXPECT_EQ(readFile(tmp + "/dockFolderStacks.plist"), "foreign");

    const QVariantMap apps = parsedFile(home.file("seen/0.plist")).toMap();
    EXPECT_EQ(apps.keys(), QStringList{"persistent-apps"});
    EXPECT_EQ(apps.value("persistent-apps").toList().size(), 2);
    const QVariantMap items = parsedFile(home.file("seen/1.plist")).toMap();
    EXPECT_EQ(items.keys(), QStringList{"persistent-others"});
    EXPECT_EQ(items.value("persistent-others").toList().size(), 1);

    EXPECT_EQ(finish.calls, 1);
    EXPECT_DOUBLE_EQ(finish.at, 1.0);
    EXPECT_EQ(log.plainLines().mid(log.plainLines().size() - 2),
              (QStringList{"Kill result: (defaults method)", "<finish>"})); // handed back after the restart
}

// Each write makes a folder of its own, so homes sharing one temporary folder never meet.
TEST(DefaultsWriterRun, PrivateFolderGoesUnderTmpdirElseTheRuntimeFolderElseTheHome) {
    VirtualTime time;
    TempHome home;
    StandInTools tools;
    tools.addRecording("defaults");
    tools.addRecording("killall");
    const QString runtime = home.file("run");
    QDir().mkpath(runtime);
    const struct {
        std::optional<QByteArray> tmpdir, runtimeDir;
        QString base;
    } cases[] = {
        {home.file("t").toUtf8(), runtime.toUtf8(), home.file("t")},
        {home.file("t").toUtf8(), std::nullopt, home.file("t")},
        {std::nullopt, runtime.toUtf8(), runtime},
        {std::nullopt, std::nullopt, home.file("tmp")},
    };
    QStringList folders;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base.toStdString());
        ScopedEnv tmpdir("TMPDIR", c.tmpdir);
        ScopedEnv runtimeDir("XDG_RUNTIME_DIR", c.runtimeDir);
        CapturingLogSink log;
        ASSERT_TRUE(DefaultsWriter::apply("Work", {}, {}, {}));
        const QStringList wrote = log.plainLines().filter("Wrote apps to ");
        ASSERT_EQ(wrote.size(), 1);
        folders.append(QFileInfo(wrote[0].mid(14)).path());
        EXPECT_EQ(QFileInfo(folders.last()).path(), c.base);
        EXPECT_FALSE(QFileInfo::exists(folders.last())) << "nothing left behind";
    }
    EXPECT_NE(folders[0], folders[1]);
}

TEST(DefaultsWriterRun, FailedWriteRunsNoCommandAndDoesNotFinish) {
    struct Case {
        const char* name;
        const char* tmpdir; // under the home
        QString error;
    };
    const Case cases[] = {
        {"temporary folder under a file", "a-file/tmp", "Could not create the temporary folder "},
        {"temporary folder is a file", "a-file", "Could not create the temporary folder "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome home;
        VirtualTime time;
        StandInTools tools;
        tools.addRecording("defaults");
        tools.addRecording("killall");
        home.write("a-file", "x");
        ScopedEnv tmpdir("TMPDIR", home.file(c.tmpdir).toUtf8());
        CapturingLogSink log;
        FinishProbe finish;

        EXPECT_FALSE(
            DefaultsWriter::apply("Work", {"pierline-spacer-1"}, {folder("/Users/a/Docs")}, finish.callback()));
        EXPECT_TRUE(tools.calls().isEmpty());
        EXPECT_EQ(finish.calls, 0);
        EXPECT_DOUBLE_EQ(time.clock.monotonicSeconds(), 0.0);
        bool reported = false;
        for (const QString& line : log.warningLines())
            reported = reported || line.startsWith("Error applying preset using defaults: " + c.error);
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
