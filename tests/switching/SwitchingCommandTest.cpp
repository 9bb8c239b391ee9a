// `pierline apply`, `preset action`, `preset companion` and `note` through the real binary.
#include "SwitchingFixtures.h"
#include "support/PierlineCli.h"

#include "platform/UserDefaults.h"

using namespace pierline;
using namespace pierline::test;

namespace {

class SwitchingCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runPierline({"sandbox", "init", "--force"}).exitCode, 0);
        QDir().mkpath(home.file("tmp"));
        const CliRun created = runPierline({"preset", "create", "Work", "--from-dock"});
        ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    }
    QString app(const QString& name) const { return home.file(QStringLiteral("Applications/%1.app").arg(name)); }

    TempHome home;
    RunningApps apps{home};
};

} // namespace

TEST_F(SwitchingCommands, ApplyRefusesAnUnknownPresetAndClosesOtherAppsAndRunsActionsBeforeExiting) {
    CliRun run = runPierline({"apply", "Nope"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Cannot apply preset 'Nope': no preset has that name")) << run.err.toStdString();

    // Focus: the Dock without Mail.
    QProcess::execute(home.file("usr/local/bin/dockutil"), {"--remove", "Mail", "--no-restart"});
    ASSERT_EQ(runPierline({"preset", "create", "Focus", "--from-dock"}).exitCode, 0);
    const CliRun action = runPierline({"preset", "action", "set", "Focus", "Safari", "--open-app"});
    ASSERT_EQ(action.exitCode, 0) << action.err.toStdString();
    ASSERT_EQ(runPierline({"settings", "set", "closeOtherApps", "true"}).exitCode, 0);
    const qint64 mail = apps.launch(app("Mail"));

    run = runPierline({"apply", "Focus", "--verbose"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // The command waited for closing and for the action.
    EXPECT_FALSE(apps.running(mail));
    EXPECT_EQ(apps.appsFrom(app("Safari")).size(), 1);
    EXPECT_TRUE(run.err.contains("Closing app: Mail"));
    EXPECT_TRUE(run.err.contains("✅ Actions executed: 1"));
}

TEST_F(SwitchingCommands, ActionsNeedAnAppOfThePreset) {
    EXPECT_EQ(runPierline({"preset", "action", "set", "Work", "Ghost", "--open-app"}).exitCode, 1);
    EXPECT_EQ(runPierline({"preset", "action", "set", "Work", "Mail"}).exitCode, 2);
    const CliRun ide =
        runPierline({"preset", "action", "set", "Work", app("Code Editor"), "--ide", home.file("Projects")});
    EXPECT_EQ(ide.exitCode, 0) << ide.err.toStdString();
    EXPECT_TRUE(ide.out.contains("open_in_ide"));
    EXPECT_EQ(runPierline({"preset", "action", "remove", "Work", "code editor"}).exitCode, 0);
    EXPECT_EQ(runPierline({"preset", "action", "remove", "Work", "Code Editor"}).exitCode, 1);
}

TEST_F(SwitchingCommands, NotesFollowTheAppAcrossSpellings) {
    const CliRun set = runPierline({"note", "set", "--preset", "Work", "Mail", "  reply to Ann "});
    ASSERT_EQ(set.exitCode, 0) << set.err.toStdString();
    CliRun show = runPierline({"note", "show", app("Mail") + '/', "--preset", "Work"});
    EXPECT_TRUE(show.out.contains("preset: reply to Ann")) << show.out.toStdString();

    // A global note by bundle path replaces the preset's note.
    EXPECT_EQ(runPierline({"note", "set", "--global", app("Mail"), "everywhere"}).exitCode, 0);
    show = runPierline({"note", "show", "Mail", "--preset", "Work"});
    EXPECT_TRUE(show.out.contains("preset: (none)")) << show.out.toStdString();
    EXPECT_TRUE(show.out.contains("global: everywhere"));

    EXPECT_EQ(runPierline({"note", "set", "--preset", "Work", "TextEdit", "x"}).exitCode, 1); // not in the preset
    EXPECT_EQ(runPierline({"note", "set", "--global", "No Such App", "x"}).exitCode, 1);
    EXPECT_EQ(runPierline({"note", "set", "Mail", "x"}).exitCode, 2);
}

TEST_F(SwitchingCommands, CompanionOnlyPresetIsSetUpAndAppliedWithoutTheDock) {
    const CliRun configured = runPierline({"preset", "companion", "Work", "--show", "a", "b", "--hide", "c", "--only"});
    ASSERT_EQ(configured.exitCode, 0) << configured.err.toStdString();
    EXPECT_TRUE(configured.out.contains("show [a, b], hide [c], Harborlet-only on"));
    // The Dock it leaves alone is checked in-process.
    const CliRun run = runPierline({"apply", "Work", "-v"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("[Pierline] Harborlet-only mode active for 'Work' — skipping system dock changes"));
    EXPECT_EQ(UserDefaults::standard().string("Pierline.lastAppliedPresetName"), "Work");
    EXPECT_EQ(runPierline({"preset", "companion", "Work", "--bogus"}).exitCode, 2);
}
