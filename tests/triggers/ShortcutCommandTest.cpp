// `pierline shortcut` and `pierline key describe` through the binary, without a running app: the
// stored tables change, bad input changes nothing, damaged data is reported and shown around.
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include "platform/UserDefaults.h"
#include "triggers/ShortcutManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

class ShortcutCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(runPierline({"preset", "create", "Work"}).exitCode, 0);
        ASSERT_EQ(runPierline({"preset", "create", "Play"}).exitCode, 0);
    }
    static QJsonObject show() {
        const CliRun run = runPierline({"shortcut", "show", "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }
    TempHome home;
};

} // namespace

TEST_F(ShortcutCommand, SetShowRemoveInListOrder) {
    ASSERT_EQ(runPierline({"shortcut", "set", "Play", "cmd+opt+two"}).exitCode, 0);
    ASSERT_EQ(runPierline({"shortcut", "set", "Work", "ctrl+shift+f8"}).exitCode, 0);
    ASSERT_EQ(runPierline({"shortcut", "action", "set", "updateLastAppliedPreset", "cmd+u"}).exitCode, 0);
    const QJsonArray presets = show().value("presets").toArray();
    ASSERT_EQ(presets.size(), 2);
    EXPECT_EQ(presets[0].toObject().value("name"), "Work");
    EXPECT_EQ(presets[1].toObject().value("displayString"), "⌘⌥2");
    EXPECT_EQ(presets[1].toObject().value("carbonKeyCode"), 19);
    EXPECT_EQ(presets[1].toObject().value("modifierRawValue"), 0x180000);
    EXPECT_EQ(show().value("actions").toArray()[0].toObject().value("action"), "updateLastAppliedPreset");

    ASSERT_EQ(runPierline({"shortcut", "remove", "Play"}).exitCode, 0);
    ASSERT_EQ(runPierline({"shortcut", "action", "remove", "updateLastAppliedPreset"}).exitCode, 0);
    EXPECT_EQ(show().value("presets").toArray().size(), 1);
    EXPECT_TRUE(show().value("actions").toArray().isEmpty());
}

TEST_F(ShortcutCommand, BadInputExitsWithItsCodeAndChangesNothing) {
    ASSERT_EQ(runPierline({"shortcut", "set", "Work", "cmd+one"}).exitCode, 0);
    const QVariant before = UserDefaults::standard().object(ShortcutManager::kPresetTableKey).value_or(QVariant());
    struct Case {
        QStringList args;
        int exitCode;
    };
    const QList<Case> cases = {
        {{"shortcut", "set", "Nobody", "cmd+two"}, 1},
        {{"shortcut", "remove", "Nobody"}, 1},
        {{"shortcut", "set", "Work", "cmd+nokey"}, 2},
        {{"shortcut", "set", "Work", "cmd+code:52"}, 2},
        {{"shortcut", "set", "Work", "option"}, 2}, // a bare modifier would be taken from every program
        {{"shortcut", "set", "Work"}, 2},
        {{"shortcut", "action", "set", "makeCoffee", "cmd+two"}, 2},
        {{"shortcut", "action", "run", "makeCoffee"}, 2},
        {{"shortcut", "frobnicate"}, 2},
        {{"key", "describe", "--code", "-1", "--flags", "0"}, 2},
    };
    for (const Case& c : cases) {
        const CliRun run = runPierline(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty()) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(UserDefaults::standard().object(ShortcutManager::kPresetTableKey).value_or(QVariant()), before);
}

TEST_F(ShortcutCommand, DamagedEntriesAreKeptAndShownAndTheActionNeedsAnAppliedPreset) {
    QString play;
    for (const QJsonValue& preset : QJsonDocument::fromJson(runPierline({"presets", "--json"}).out.toUtf8()).array())
        if (preset["name"].toString() == "Play")
            play = preset["idString"].toString();
    UserDefaults::standard().set(ShortcutManager::kPresetTableKey,
                                 QVariantMap{{"garbage", QVariantMap{{"key", 18}, {"modifiers", 0}}},
                                             {play, QVariantMap{{"key", "x"}}},
                                             {"1F0F0F0F-1111-2222-3333-444455556666", QString("not an entry")}});
    UserDefaults::standard().set(ShortcutManager::kActionTableKey, QString("not a table"));
    const CliRun run = runPierline({"shortcut", "show"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("garbage")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(play)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("1F0F0F0F-1111-2222-3333-444455556666")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("'actionShortcuts_v1' are not a table")) << run.err.toStdString();

    // Changing another preset's shortcut keeps the damaged entries; show lists them.
    const QVariant damaged = UserDefaults::standard().object(ShortcutManager::kPresetTableKey).value_or(QVariant());
    ASSERT_EQ(runPierline({"shortcut", "set", "Work", "cmd+one"}).exitCode, 0);
    ASSERT_EQ(runPierline({"shortcut", "remove", "Work"}).exitCode, 0);
    EXPECT_EQ(UserDefaults::standard().object(ShortcutManager::kPresetTableKey).value_or(QVariant()), damaged);
    QStringList unusable;
    for (const QJsonValue& row : show().value("unusable").toArray())
        unusable.append(row["table"].toString() + " " + row["key"].toString() + " " + row["problem"].toString());
    EXPECT_EQ(unusable, (QStringList{"presetShortcuts_v2_byID 1F0F0F0F-1111-2222-3333-444455556666 is not an entry",
                                     "actionShortcuts_v1  is not a table",
                                     "presetShortcuts_v2_byID " + play + " has no usable key or modifiers",
                                     "presetShortcuts_v2_byID garbage names no preset id"}));
    // A table that is no dictionary is not replaced by a change.
    const CliRun set = runPierline({"shortcut", "action", "set", "updateLastAppliedPreset", "cmd+u"});
    EXPECT_EQ(set.exitCode, 1);
    EXPECT_TRUE(set.err.contains("defaults delete com.corvane.pierline actionShortcuts_v1")) << set.err.toStdString();
    EXPECT_EQ(UserDefaults::standard().object(ShortcutManager::kActionTableKey), QVariant(QString("not a table")));

    const CliRun action = runPierline({"shortcut", "action", "run", "updateLastAppliedPreset"});
    EXPECT_EQ(action.exitCode, 1);
    EXPECT_TRUE(action.err.contains("No preset has been applied yet")) << action.err.toStdString();
}

TEST_F(ShortcutCommand, ACombinationHeldElsewhereIsRefusedNamingItsHolderUntilReplaceMovesIt) {
    ASSERT_EQ(runPierline({"shortcut", "set", "Work", "cmd+opt+1"}).exitCode, 0);
    ASSERT_EQ(runPierline({"hotkey", "leader", "ctrl+space"}).exitCode, 0);
    ASSERT_EQ(runPierline({"hotkey", "set", "Play", "--sequence", "cmd+shift+p"}).exitCode, 0);
    const QJsonObject before = show();
    struct Case {
        QStringList args;
        const char* holder;
    };
    const QList<Case> taken = {
        {{"shortcut", "set", "Play", "cmd+opt+one"}, "the shortcut of preset 'Work'"},
        {{"shortcut", "set", "Play", "super+alt+1"}, "the shortcut of preset 'Work'"},
        {{"shortcut", "action", "set", "updateLastAppliedPreset", "opt+cmd+1"}, "the shortcut of preset 'Work'"},
        {{"shortcut", "set", "Work", "ctrl+space"}, "the leader key"},
        {{"shortcut", "set", "Work", "shift+cmd+p"}, "the advanced hotkey of preset 'Play'"},
        {{"hotkey", "leader", "cmd+opt+1"}, "the shortcut of preset 'Work'"},
        {{"hotkey", "set", "Work", "--multi-press", "ctrl+space", "--count", "2"}, "the leader key"},
    };
    for (const Case& c : taken) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun run = runPierline(c.args);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QString("is already ") + c.holder + "; --replace moves it here"))
            << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    EXPECT_EQ(show(), before);
    EXPECT_EQ(runPierline({"shortcut", "set", "Work", "cmd+opt+one"}).exitCode, 0) << "its own combination again";

    const CliRun moved = runPierline({"shortcut", "set", "Play", "cmd+opt+1", "--replace"});
    ASSERT_EQ(moved.exitCode, 0) << moved.err.toStdString();
    EXPECT_EQ(moved.out, "Set ⌘⌥1 for preset 'Play' (taken from the shortcut of preset 'Work')\n");
    const QJsonArray presets = show().value("presets").toArray();
    ASSERT_EQ(presets.size(), 1);
    EXPECT_EQ(presets[0].toObject().value("name"), "Play");
}

TEST(KeyDescribe, NamesBothEncodingsAndOmitsTheComboWithoutAKey) {
    const CliRun text = runPierline({"key", "describe", "super+alt+1"});
    EXPECT_TRUE(text.out.contains("display string: ⌘⌥1\n")) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("hotkey description: ⌥⌘1\n")) << text.out.toStdString();
    const CliRun run = runPierline({"key", "describe", "cmd+opt+one", "--json"});
    ASSERT_EQ(run.exitCode, 0);
    const QJsonObject one = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(one.value("displayString"), "⌘⌥1");
    EXPECT_EQ(one.value("comboDescription"), "⌥⌘1");
    EXPECT_EQ(one.value("carbonModifiers"), 0x0900);
    const QJsonObject noKey =
        QJsonDocument::fromJson(
            runPierline({"key", "describe", "--code", "52", "--flags", "1048576", "--json"}).out.toUtf8())
            .object();
    EXPECT_EQ(noKey.value("displayString"), "⌘");
    EXPECT_FALSE(noKey.contains("comboDescription"));
}
