// Simple shortcuts in a Wayland session through the binary: the desktop's own keybindings follow
// the stored table, on GSettings' keyfile backend in a private home read back with `gsettings`.
#include "support/GSettingsTool.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

const QString kList = "org.gnome.settings-daemon.plugins.media-keys";
const QString kFolder = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";

class WaylandShortcuts : public ::testing::Test {
protected:
    void SetUp() override {
        env_ = {{"HOME", home_.file("user")},
                {"XDG_CONFIG_HOME", home_.file("config")},
                {"GSETTINGS_BACKEND", "keyfile"},
                {"XDG_SESSION_TYPE", "wayland"}};
        ASSERT_EQ(pierline({"preset", "create", "Work"}).exitCode, 0);
        ASSERT_EQ(pierline({"preset", "create", "Play"}).exitCode, 0);
    }

    CliRun pierline(const QStringList& args, const QMap<QString, QString>& extra = {}) const {
        QMap<QString, QString> env = env_;
        env.insert(extra);
        return runPierline(args, env);
    }
    QString gsettings(const QStringList& args) const { return runGsettings(args, env_); }
    QStringList list() const { return parseGvariantStringList(gsettings({"get", kList, "custom-keybindings"})); }
    QString field(const QString& path, const QString& key) const {
        return gsettings({"get", kList + ".custom-keybinding:" + path, key});
    }
    QString idOf(const QString& name) const {
        const CliRun run = pierline({"presets", "--json"});
        for (const QJsonValue& preset : QJsonDocument::fromJson(run.out.toUtf8()).array())
            if (preset["name"].toString() == name)
                return preset["idString"].toString();
        return {};
    }

    TempHome home_;
    QMap<QString, QString> env_;
};

} // namespace

TEST_F(WaylandShortcuts, KeybindingsFollowTheTableAndTheUsersOwnStay) {
    const QString mine = kFolder + "custom0/";
    const QString work = kFolder + "pierline-" + idOf("Work") + "/";
    const QString play = kFolder + "pierline-" + idOf("Play") + "/";
    const QString action = kFolder + "pierline-action-updateLastAppliedPreset/";
    gsettings({"set", kList + ".custom-keybinding:" + mine, "binding", "<Super>t"});
    gsettings({"set", kList, "custom-keybindings", gvariantStringList({mine})});
    const auto mineIsKept = [&] {
        EXPECT_EQ(list().value(0), mine);
        EXPECT_EQ(field(mine, "binding"), "'<Super>t'");
    };

    ASSERT_EQ(pierline({"shortcut", "set", "Work", "cmd+opt+two"}).exitCode, 0);
    EXPECT_EQ(list(), QStringList({mine, work}));
    EXPECT_EQ(field(work, "name"), "'Pierline: Work'");
    EXPECT_EQ(field(work, "binding"), "'<Super><Alt>2'");
    const QString command = field(work, "command");
    EXPECT_TRUE(command.contains(PIERLINE_BINARY)) << command.toStdString();
    EXPECT_TRUE(command.contains("PIERLINE_HOME=" + home_.path())) << command.toStdString();
    // The same switch request as a grabbed press, so the running app asks first when set to.
    EXPECT_TRUE(command.contains(" shortcut press --id " + idOf("Work"))) << command.toStdString();
    ASSERT_EQ(pierline({"preset", "rename", "Work", "Deep Work"}).exitCode, 0);
    EXPECT_EQ(field(work, "name"), "'Pierline: Deep Work'");

    const QString later = kFolder + "custom1/";
    struct Step {
        QStringList args;
        QStringList after;
        QStringList userList = {}; // the user's list just before the step, when given
    };
    const QList<Step> steps = {
        {{"shortcut", "set", "Play", "ctrl+shift+f8"}, {mine, work, play}},
        {{"shortcut", "action", "set", "updateLastAppliedPreset", "cmd+u"}, {mine, work, play, action}},
        {{"shortcut", "set", "Deep Work", "opt+space"}, {mine, work, play, action}},
        // The user's entry placed among ours keeps its place; a damaged path of ours is dropped.
        {{"shortcut", "remove", "Play"},
         {mine, work, later, action},
         {mine, work, later, play, action, kFolder + "pierline-broken"}},
        {{"preset", "delete", "Deep Work"}, {mine, later, action}},
    };
    for (const Step& step : steps) {
        if (!step.userList.isEmpty())
            gsettings({"set", kList, "custom-keybindings", gvariantStringList(step.userList)});
        const CliRun run = pierline(step.args);
        EXPECT_EQ(run.exitCode, 0) << step.args.join(' ').toStdString() << run.err.toStdString();
        EXPECT_EQ(list(), step.after) << step.args.join(' ').toStdString();
        mineIsKept();
    }
    EXPECT_EQ(field(work, "binding"), "''"); // removed entries leave nothing behind
    EXPECT_EQ(field(play, "name"), "''");
    EXPECT_EQ(field(action, "binding"), "'<Super>u'");

    // Outside Wayland the table changes and the desktop's keybindings stay as they are.
    ASSERT_EQ(pierline({"shortcut", "set", "Play", "cmd+four"}, {{"XDG_SESSION_TYPE", "x11"}}).exitCode, 0);
    EXPECT_EQ(list(), QStringList({mine, later, action}));
    EXPECT_TRUE(pierline({"hotkey", "show"}).out.contains("only on X11"));
    EXPECT_FALSE(pierline({"hotkey", "show"}, {{"XDG_SESSION_TYPE", "x11"}}).out.contains("only on X11"));
}

TEST_F(WaylandShortcuts, AKeybindingThatRunsApplyIsRewrittenAtTheNextSync) {
    const QString work = kFolder + "pierline-" + idOf("Work") + "/";
    ASSERT_EQ(pierline({"shortcut", "set", "Work", "cmd+opt+two"}).exitCode, 0);
    const QString press = field(work, "command");
    QString older = press;
    older.replace(" shortcut press --id ", " apply --id ");
    ASSERT_NE(older, press);
    gsettings({"set", kList + ".custom-keybinding:" + work, "command", older});
    ASSERT_EQ(pierline({"shortcut", "set", "Play", "ctrl+shift+f8"}).exitCode, 0);
    EXPECT_EQ(field(work, "command"), press);
}

TEST_F(WaylandShortcuts, AMissingSchemaIsAClearError) {
    const QMap<QString, QString> noSchemas{{"XDG_DATA_DIRS", home_.file("nothing")}};
    const CliRun run = pierline({"shortcut", "set", "Work", "cmd+two"}, noSchemas);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("org.gnome.settings-daemon.plugins.media-keys")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("install gnome-settings-daemon-common")) << run.err.toStdString();
    const CliRun check = pierline({"target", "check"}, noSchemas);
    EXPECT_TRUE(check.out.contains("only on X11")) << check.out.toStdString();
    EXPECT_TRUE(check.err.contains("gnome-settings-daemon-common")) << check.err.toStdString();
}
