// Drives `pierline hotkey ...` through the binary against a temporary home, with no app running.
#include "platform/UserDefaults.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"
#include "triggers/AdvancedHotkeyManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace pierline;
using namespace pierline::test;

namespace {

class AdvancedHotkeyCommandTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(runPierline({"preset", "create", "Work"}).exitCode, 0); }

    QJsonObject show() {
        const CliRun run = runPierline({"hotkey", "show", "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }
    static std::optional<QByteArray> stored(const QString& key) { return UserDefaults::standard().data(key); }

    TempHome home;
};

} // namespace

TEST_F(AdvancedHotkeyCommandTest, SetShowRemoveAndLeader) {
    CliRun run = runPierline({"hotkey", "set", "Work", "--multi-press", "option", "--count", "2"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonObject answer = show();
    EXPECT_TRUE(answer.value("leader").isNull());
    ASSERT_EQ(answer.value("presets").toArray().size(), 1);
    QJsonObject preset = answer.value("presets").toArray()[0].toObject();
    EXPECT_EQ(preset.value("name"), "Work");
    EXPECT_EQ(preset.value("type"), "multiPress");
    EXPECT_EQ(preset.value("count"), 2);
    EXPECT_EQ(preset.value("keys").toArray()[0].toObject().value("carbonKeyCode"), 58);

    ASSERT_EQ(runPierline({"hotkey", "set", "Work", "--sequence", "cmd+one"}).exitCode, 0);
    ASSERT_EQ(runPierline({"hotkey", "leader", "ctrl+opt+space"}).exitCode, 0);
    answer = show();
    preset = answer.value("presets").toArray()[0].toObject();
    EXPECT_EQ(preset.value("type"), "sequence");
    EXPECT_FALSE(preset.contains("count"));
    EXPECT_EQ(preset.value("keys").toArray()[0].toObject().value("displayString"), "⌘1");
    EXPECT_EQ(answer.value("leader").toObject().value("carbonKeyCode"), 49);
    EXPECT_EQ(answer.value("leader").toObject().value("modifierRawValue"), 0x40000 | 0x80000);

    run = runPierline({"hotkey", "debug"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("=== AdvancedHotkeyManager Debug ===\n")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(": Key Sequence\n"));

    ASSERT_EQ(runPierline({"hotkey", "remove", "Work"}).exitCode, 0);
    EXPECT_TRUE(show().value("presets").toArray().isEmpty());
    ASSERT_EQ(runPierline({"hotkey", "leader", "--none"}).exitCode, 0);
    EXPECT_TRUE(show().value("leader").isNull());
    EXPECT_FALSE(UserDefaults::standard().contains(AdvancedHotkeyManager::kLeaderKeyKey));
}

TEST_F(AdvancedHotkeyCommandTest, BadArgumentsChangeNothing) {
    ASSERT_EQ(runPierline({"hotkey", "set", "Work", "--multi-press", "cmd+j", "--count", "3"}).exitCode, 0);
    ASSERT_EQ(runPierline({"hotkey", "leader", "ctrl+space"}).exitCode, 0);
    const auto configurations = stored(AdvancedHotkeyManager::kConfigurationsKey);
    const auto leader = stored(AdvancedHotkeyManager::kLeaderKeyKey);
    ASSERT_TRUE(configurations && leader);

    const struct {
        QStringList args;
        int exitCode;
    } cases[] = {
        {{"hotkey", "set", "Nowhere", "--single"}, 1},
        {{"hotkey", "remove", "Nowhere"}, 1},
        {{"hotkey", "set", "Work", "--sequence", "code:52"}, 2},
        {{"hotkey", "set", "Work", "--sequence", "cmd+nosuchkey"}, 2},
        {{"hotkey", "set", "Work", "--multi-press", "option", "--count", "0"}, 2},
        {{"hotkey", "set", "Work", "--multi-press", "option", "--count", "two"}, 2},
        {{"hotkey", "set", "Work", "--multi-press", "opt"}, 2},
        {{"hotkey", "set", "Work", "--single", "--sequence", "cmd+one"}, 2},
        {{"hotkey", "set", "Work"}, 2},
        {{"hotkey", "leader", "code:102"}, 2},
        // A bare modifier grabbed as a leader or an action key would take it from every program.
        {{"hotkey", "leader", "option"}, 2},
        {{"hotkey", "set", "Work", "--sequence", "shift"}, 2},
        {{"hotkey", "leader"}, 2},
        {{"hotkey", "leader", "cmd+one", "--none"}, 2},
        {{"hotkey", "frobnicate"}, 2},
    };
    for (const auto& c : cases) {
        const CliRun run = runPierline(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString();
        EXPECT_FALSE(run.err.isEmpty()) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(stored(AdvancedHotkeyManager::kConfigurationsKey), configurations);
    EXPECT_EQ(stored(AdvancedHotkeyManager::kLeaderKeyKey), leader);
}

TEST_F(AdvancedHotkeyCommandTest, DeletingAPresetDropsItsConfigurationOnly) {
    ASSERT_EQ(runPierline({"preset", "create", "Home"}).exitCode, 0);
    ASSERT_EQ(runPierline({"hotkey", "set", "Work", "--multi-press", "option", "--count", "2"}).exitCode, 0);
    ASSERT_EQ(runPierline({"hotkey", "set", "Home", "--sequence", "h"}).exitCode, 0);
    const CliRun run = runPierline({"preset", "delete", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray presets = show().value("presets").toArray();
    ASSERT_EQ(presets.size(), 1);
    EXPECT_EQ(presets[0].toObject().value("name"), "Home");
    EXPECT_EQ(AdvancedHotkeyManager::readStoredConfigurations(nullptr)->size(), 1u);
}

TEST_F(AdvancedHotkeyCommandTest, UnreadableStoredDataIsReportedAndNeverReplaced) {
    const QByteArray damaged = R"(["not a uuid"])";
    UserDefaults::standard().set(AdvancedHotkeyManager::kConfigurationsKey, damaged);
    UserDefaults::standard().set(AdvancedHotkeyManager::kLeaderKeyKey, QByteArray("{"));

    CliRun run = runPierline({"hotkey", "show"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("The stored advanced hotkeys cannot be read")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("The stored leader key cannot be read")) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Leader key: Not set"));

    for (const QStringList& args :
         {QStringList{"hotkey", "set", "Work", "--single"}, QStringList{"hotkey", "remove", "Work"}}) {
        run = runPierline(args);
        EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("nothing was changed")) << run.err.toStdString();
    }
    ASSERT_EQ(runPierline({"preset", "delete", "Work"}).exitCode, 0);
    EXPECT_EQ(stored(AdvancedHotkeyManager::kConfigurationsKey), damaged);
}
