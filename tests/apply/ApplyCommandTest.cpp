// `pierline apply` through the real binary: two switches at once, an interrupted switch, failing
// Dock commands, and picking the preset by id.
#include "SwitchingFixtures.h"
#include "support/PierlineCli.h"

#include "apply/DockManager.h"
#include "dock/DockReader.h"
#include "platform/FileLock.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace pierline;
using namespace pierline::test;

namespace {

class ApplyCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runPierline({"sandbox", "init", "--force"}).exitCode, 0);
        QDir().mkpath(home.file("tmp"));
        ASSERT_EQ(runPierline({"preset", "create", "Work", "--from-dock"}).exitCode, 0);
        // Every app of Focus is followed by a spacer or ends the list, so dockutil keeps its order.
        QProcess::execute(home.file("usr/local/bin/dockutil"), {"--remove", "Code Editor", "--no-restart"});
        ASSERT_EQ(runPierline({"preset", "create", "Focus", "--from-dock"}).exitCode, 0);
    }
    // A dockutil in our bundle, which the apply prefers to the installed one.
    void bundleDockutil(const QByteArray& body) const {
        const QString path = home.write("Applications/Pierline.app/Contents/Resources/dockutil", "#!/bin/sh\n" + body);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QByteArray realDockutil() const { return home.file("usr/local/bin/dockutil").toUtf8(); }
    static QJsonObject presetJson(const QString& name) {
        return QJsonDocument::fromJson(runPierline({"preset", "show", name, "--json"}).out.toUtf8()).object();
    }
    static QStringList presetApps(const QString& name) { return decodeApps(presetJson(name).value("apps").toString()); }
    static qsizetype presetItems(const QString& name) {
        return presetJson(name).value("folderStacks").toArray().size();
    }

    TempHome home;
};

} // namespace

TEST_F(ApplyCommand, TwoSwitchesAtOnceRunOneAfterTheOther) {
    const QStringList work = presetApps("Work"), focus = presetApps("Focus");
    ASSERT_NE(work, focus);
    std::vector<std::unique_ptr<QProcess>> runs;
    QList<QString> errs(2);
    {
        // Held here, so both commands reach the lock before either may write.
        const FileLock held(DockManager::switchLockPath());
        ASSERT_TRUE(held.held());
        for (const QString& name : {QStringLiteral("Work"), QStringLiteral("Focus")})
            runs.push_back(startPierline({"apply", name}, {{"PIERLINE_VERBOSE", "1"}}));
        EXPECT_TRUE(waitUntil(
            [&] {
                for (int i = 0; i < 2; ++i)
                    errs[i] += QString::fromUtf8(runs[i]->readAllStandardError());
                return errs[0].contains("Waiting for another switch to finish") &&
                       errs[1].contains("Waiting for another switch to finish");
            },
            30000));
    }
    for (int i = 0; i < 2; ++i) {
        const CliRun run = finishPierline(*runs[i]);
        EXPECT_EQ(run.exitCode, 0) << (errs[i] + run.err).toStdString();
    }
    // Exactly the preset recorded last, with no tile twice.
    const QString last = UserDefaults::standard().string("Pierline.lastAppliedPresetName").value_or(QString());
    ASSERT_TRUE(last == "Work" || last == "Focus") << last.toStdString();
    EXPECT_EQ(DockReader::getDockApps(), last == "Work" ? work : focus);
    EXPECT_EQ(DockReader::getDockItems().size(), presetItems(last));
}

TEST_F(ApplyCommand, SwitchKilledPartWayIsNotAutoSavedIntoThePresetBeingLeft) {
    ASSERT_EQ(runPierline({"apply", "Work"}).exitCode, 0);
    ASSERT_EQ(runPierline({"settings", "set", "autoSaveCurrentDockToLastPreset", "true"}).exitCode, 0);
    const QStringList work = presetApps("Work");
    // The third dockutil call (after clearing and one app) kills the switch.
    bundleDockutil("n=$(cat '" + home.file("calls").toUtf8() + "' 2>/dev/null || echo 0); n=$((n+1)); echo $n > '" +
                   home.file("calls").toUtf8() +
                   "'\n"
                   "if [ $n -eq 3 ]; then p=$PPID; while [ \"$p\" -gt 1 ]; do\n"
                   "  case \"$(readlink /proc/$p/exe)\" in */pierline) kill -9 $p; exit 1;; esac\n"
                   "  p=$(awk '/^PPid:/{print $2}' /proc/$p/status); done; fi\n"
                   "exec '" +
                   realDockutil() + "' \"$@\"\n");
    EXPECT_EQ(runPierline({"apply", "Focus"}).exitCode, -1); // killed
    ASSERT_EQ(DockReader::getDockApps().size(), 1);

    QFile::remove(home.file("Applications/Pierline.app/Contents/Resources/dockutil"));
    const CliRun next = runPierline({"apply", "Focus"});
    EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
    EXPECT_TRUE(next.err.contains("Auto-save: Skipping - the switch to 'Focus' did not finish, so the Dock may be "
                                  "incomplete; 'Work' keeps its saved layout"))
        << next.err.toStdString();
    EXPECT_EQ(presetApps("Work"), work);
    EXPECT_EQ(DockReader::getDockApps(), presetApps("Focus"));
    EXPECT_FALSE(UserDefaults::standard().contains("Pierline.unfinishedSwitch"));
}

TEST_F(ApplyCommand, FailingDockCommandsAreCountedAndFailTheCommandWhenNoneWorked) {
    const int commands = static_cast<int>(1 + presetApps("Focus").size() + presetItems("Focus"));
    struct Case {
        QByteArray dockutil;
        int failed;
        int exitCode;
    };
    // Every command fails; or only Mail's, and with it the spacer placed after Mail.
    for (const Case& c :
         {Case{"exit 1\n", commands, 1},
          Case{"case \"$*\" in *Mail.app*) exit 1;; esac\nexec '" + realDockutil() + "' \"$@\"\n", 2, 0}}) {
        bundleDockutil(c.dockutil);
        UserDefaults::standard().remove("Pierline.lastAppliedPresetName");
        const CliRun run = runPierline({"apply", "Focus"});
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        const QString line = QStringLiteral("%1 of %2 Dock commands failed; details in the log (%3)")
                                 .arg(c.failed)
                                 .arg(commands)
                                 .arg(structuredLogLocation());
        EXPECT_EQ(run.err.count(line), 1) << run.err.toStdString();
        // The switch still counts as made.
        EXPECT_EQ(UserDefaults::standard().string("Pierline.lastAppliedPresetName"), "Focus");
    }
}

// A Dock preferences file that is not a property list is named with the reason, and nothing is
// written over it; a first start on it says why the default preset is empty.
TEST_F(ApplyCommand, AnUnreadableDockFileIsNamedAndLeftAsItIs) {
    const QString dock = home.file("Library/Preferences/com.apple.dock.plist");
    home.write("Library/Preferences/com.apple.dock.plist", "not a plist <<");
    for (const bool useDockutil : {true, false}) {
        UserDefaults::standard().set("useDockutil", useDockutil);
        const CliRun run = runPierline({"apply", "Focus"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("Cannot apply 'Focus': the Dock preferences file " + dock +
                                     " could not be read (Command failed: Could not export domain com.apple.dock: " +
                                     dock + " is not a property list"))
            << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("Dock commands failed")) << run.err.toStdString();
        EXPECT_EQ(readFile(dock), "not a plist <<");
    }

    QDir(home.file("Library/Application Support/Pierline")).removeRecursively();
    const CliRun first = runPierline({"presets"});
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_TRUE(first.out.startsWith("0  Default  (0 apps, 0 items)")) << first.out.toStdString();
    EXPECT_TRUE(first.err.contains("The default preset was made empty because the sandbox Dock could not be read: "
                                   "Command failed: Could not export domain com.apple.dock: " +
                                   dock))
        << first.err.toStdString();
}

TEST_F(ApplyCommand, PicksThePresetByNameOrByIdButNotBoth) {
    const QString id = presetJson("Focus").value("idString").toString();
    ASSERT_FALSE(id.isEmpty());
    const CliRun byId = runPierline({"apply", "--id", id});
    EXPECT_EQ(byId.exitCode, 0) << byId.err.toStdString();
    EXPECT_EQ(DockReader::getDockApps(), presetApps("Focus"));
    EXPECT_EQ(UserDefaults::standard().string("Pierline.lastAppliedPresetName"), "Focus");

    EXPECT_EQ(runPierline({"apply", "Work", "--id", id}).exitCode, 2);
    EXPECT_EQ(runPierline({"apply"}).exitCode, 2);
}
