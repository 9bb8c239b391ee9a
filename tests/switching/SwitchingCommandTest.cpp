#include "SwitchingFixtures.h"

#include "platform/UserDefaults.h"

using namespace pierline;
using namespace pierline::test;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The real `pierline` binary against the temporary home (the child inherits PIERLINE_HOME).
CliRun runPierline(const QStringList& args, int timeoutMs = 60000) {
    QProcess process;
    process.start(QStringLiteral(PIERLINE_BINARY), args);
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("timed out");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

class SwitchingCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runPierline({QStringLiteral("sandbox"), QStringLiteral("init"), QStringLiteral("--force")}).exitCode,
                  0);
        QDir().mkpath(home.file(QStringLiteral("tmp")));
        const CliRun created = runPierline({QStringLiteral("preset"), QStringLiteral("create"), QStringLiteral("Work"),
                                            QStringLiteral("--from-dock")});
        ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    }
    QString app(const QString& name) const { return home.file(QStringLiteral("Applications/%1.app").arg(name)); }

    TempHome home;
    RunningApps apps{home};
};

} // namespace

TEST_F(SwitchingCommands, ApplyRefusesAnUnknownPreset) {
    const QByteArray before = readFile(home.file(QStringLiteral("Library/Preferences/com.apple.dock.plist"))).toUtf8();
    const CliRun run = runPierline({QStringLiteral("apply"), QStringLiteral("Nope")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("No preset named 'Nope'"))) << run.err.toStdString();
    EXPECT_EQ(readFile(home.file(QStringLiteral("Library/Preferences/com.apple.dock.plist"))).toUtf8(), before);
    EXPECT_EQ(runPierline({QStringLiteral("apply")}).exitCode, 2);
}

TEST_F(SwitchingCommands, ApplyClosesOtherAppsAndRunsActionsBeforeExiting) {
    // Focus: the Dock without Mail.
    const QString dockutil = home.file(QStringLiteral("usr/local/bin/dockutil"));
    QProcess::execute(dockutil, {QStringLiteral("--remove"), QStringLiteral("Mail"), QStringLiteral("--no-restart")});
    ASSERT_EQ(runPierline({QStringLiteral("preset"), QStringLiteral("create"), QStringLiteral("Focus"),
                           QStringLiteral("--from-dock")})
                  .exitCode,
              0);
    const CliRun action =
        runPierline({QStringLiteral("preset"), QStringLiteral("action"), QStringLiteral("set"), QStringLiteral("Focus"),
                     QStringLiteral("Safari"), QStringLiteral("--open-app")});
    ASSERT_EQ(action.exitCode, 0) << action.err.toStdString();
    ASSERT_EQ(runPierline({QStringLiteral("settings"), QStringLiteral("set"), QStringLiteral("closeOtherApps"),
                           QStringLiteral("true")})
                  .exitCode,
              0);
    const qint64 mail = apps.launch(app(QStringLiteral("Mail")));

    const CliRun run = runPierline({QStringLiteral("apply"), QStringLiteral("Focus")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // The command waited for closing and for the action.
    EXPECT_FALSE(apps.running(mail));
    EXPECT_EQ(apps.appsFrom(app(QStringLiteral("Safari"))).size(), 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("Closing app: Mail")));
    EXPECT_TRUE(run.err.contains(QStringLiteral("✅ Actions executed: 1")));
}

TEST_F(SwitchingCommands, ActionsNeedAnAppOfThePreset) {
    auto action = [&](const QStringList& rest) {
        return runPierline(QStringList{QStringLiteral("preset"), QStringLiteral("action")} + rest);
    };
    EXPECT_EQ(
        action({QStringLiteral("set"), QStringLiteral("Work"), QStringLiteral("Ghost"), QStringLiteral("--open-app")})
            .exitCode,
        1);
    EXPECT_EQ(action({QStringLiteral("set"), QStringLiteral("Work"), QStringLiteral("Mail")}).exitCode, 2);
    const CliRun ide = action({QStringLiteral("set"), QStringLiteral("Work"), app(QStringLiteral("Code Editor")),
                               QStringLiteral("--ide"), home.file(QStringLiteral("Projects"))});
    EXPECT_EQ(ide.exitCode, 0) << ide.err.toStdString();
    EXPECT_TRUE(ide.out.contains(QStringLiteral("open_in_ide")));
    EXPECT_EQ(action({QStringLiteral("remove"), QStringLiteral("Work"), QStringLiteral("code editor")}).exitCode, 0);
    EXPECT_EQ(action({QStringLiteral("remove"), QStringLiteral("Work"), QStringLiteral("Code Editor")}).exitCode, 1);
}

TEST_F(SwitchingCommands, NotesFollowTheAppAcrossSpellings) {
    const CliRun set = runPierline({QStringLiteral("note"), QStringLiteral("set"), QStringLiteral("--preset"),
                                    QStringLiteral("Work"), QStringLiteral("Mail"), QStringLiteral("  reply to Ann ")});
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    CliRun show =
        runPierline({QStringLiteral("note"), QStringLiteral("show"), app(QStringLiteral("Mail")) + QLatin1Char('/'),
                     QStringLiteral("--preset"), QStringLiteral("Work")});
    EXPECT_TRUE(show.out.contains(QStringLiteral("preset: reply to Ann"))) << show.out.toStdString();

    // A global note by bundle path replaces the preset's note.
    EXPECT_EQ(runPierline({QStringLiteral("note"), QStringLiteral("set"), QStringLiteral("--global"),
                           app(QStringLiteral("Mail")), QStringLiteral("everywhere")})
                  .exitCode,
              0);
    show = runPierline({QStringLiteral("note"), QStringLiteral("show"), QStringLiteral("Mail"),
                        QStringLiteral("--preset"), QStringLiteral("Work")});
    EXPECT_TRUE(show.out.contains(QStringLiteral("preset: (none)"))) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains(QStringLiteral("global: everywhere")));

    EXPECT_EQ(runPierline({QStringLiteral("note"), QStringLiteral("set"), QStringLiteral("--preset"),
                           QStringLiteral("Work"), QStringLiteral("TextEdit"), QStringLiteral("x")})
                  .exitCode,
              1); // not in the preset
    EXPECT_EQ(runPierline({QStringLiteral("note"), QStringLiteral("set"), QStringLiteral("--global"),
                           QStringLiteral("No Such App"), QStringLiteral("x")})
                  .exitCode,
              1);
    EXPECT_EQ(runPierline({QStringLiteral("note"), QStringLiteral("set"), QStringLiteral("Mail"), QStringLiteral("x")})
                  .exitCode,
              2);
}

TEST_F(SwitchingCommands, CompanionOnlyPresetKeepsTheDock) {
    const CliRun configured =
        runPierline({QStringLiteral("preset"), QStringLiteral("companion"), QStringLiteral("Work"),
                     QStringLiteral("--show"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("--hide"),
                     QStringLiteral("c"), QStringLiteral("--only")});
    ASSERT_EQ(configured.exitCode, 0) << configured.err.toStdString();
    EXPECT_TRUE(configured.out.contains(QStringLiteral("show [a, b], hide [c], Harborlet-only on")));
    const QString dock = readFile(home.file(QStringLiteral("Library/Preferences/com.apple.dock.plist")));
    const CliRun run = runPierline({QStringLiteral("apply"), QStringLiteral("Work")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(
        QStringLiteral("[Pierline] Harborlet-only mode active for 'Work' — skipping system dock changes")));
    EXPECT_EQ(readFile(home.file(QStringLiteral("Library/Preferences/com.apple.dock.plist"))), dock);
    EXPECT_EQ(UserDefaults::standard().string(QStringLiteral("Pierline.lastAppliedPresetName")),
              QStringLiteral("Work"));
    EXPECT_EQ(runPierline({QStringLiteral("preset"), QStringLiteral("companion"), QStringLiteral("Work"),
                           QStringLiteral("--bogus")})
                  .exitCode,
              2);
}
