// `pierline apply`, `preset action`, `preset companion` and `note` through the real binary.
#include "SwitchingFixtures.h"
#include "support/PierlineCli.h"

#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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
    const CliRun again = runPierline({"preset", "action", "remove", "Work", "Code Editor"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_TRUE(again.out.endsWith("; nothing to remove\n")) << again.out.toStdString();

    // A profile only opens in a browser that takes one; anything else would fail at every apply.
    const QString before = runPierline({"preset", "show", "Work", "--json"}).out;
    for (const char* notABrowser : {"Mail", "Safari"}) {
        const CliRun profile = runPierline(
            {"preset", "action", "set", "Work", notABrowser, "--browser-profile", "Default", "--profile-name", "Me"});
        EXPECT_EQ(profile.exitCode, 1) << notABrowser;
        EXPECT_TRUE(profile.err.contains("is not a browser Pierline opens with a profile"))
            << profile.err.toStdString();
    }
    EXPECT_EQ(runPierline({"preset", "show", "Work", "--json"}).out, before);
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

TEST_F(SwitchingCommands, ShowListsEverythingSetOnThePreset) {
    const QStringList setUp[] = {
        {"preset", "action", "set", "Work", "Safari", "--open-app"},
        {"note", "set", "--preset", "Work", "Mail", "reply to Ann"},
        {"preset", "companion", "Work", "--show", "left", "--hide", "right"},
        {"shortcut", "set", "Work", "cmd+opt+1"},
        {"hotkey", "set", "Work", "--multi-press", "opt", "--count", "2"},
    };
    for (const QStringList& args : setUp) {
        const CliRun run = runPierline(args);
        ASSERT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
    }
    const CliRun text = runPierline({"preset", "show", "Work"});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    for (const char* line : {"\n  file://", "  open_app\n", "  reply to Ann\n",
                             "\nCompanion (Harborlet): show [left], hide [right], Harborlet-only off\n",
                             "\nShortcut: ⌘⌥1 (cmd+opt+one)\n", "\nAdvanced hotkey: Multi-Press ⌥ (option) ×2\n"})
        EXPECT_TRUE(text.out.contains(QString::fromUtf8(line))) << line << "\n" << text.out.toStdString();

    const QJsonObject json =
        QJsonDocument::fromJson(runPierline({"preset", "show", "Work", "--json"}).out.toUtf8()).object();
    const QJsonObject actions = json.value("appActions").toObject();
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions.begin().value().toObject().value("actionType"), "open_app");
    EXPECT_EQ(json.value("harborletConfiguration").toObject().value("visibleDockIds"), QJsonArray{"left"});
    EXPECT_EQ(json.value("shortcut").toObject().value("displayString"), "⌘⌥1");
    EXPECT_EQ(json.value("advancedHotkey").toObject().value("triggerType"), "multiPress");
    EXPECT_EQ(json.value("notesInForce").toObject().size(), 1);
}
