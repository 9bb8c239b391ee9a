// `pierline rule` through the real binary on a temporary home, without a running app.
#include "support/GSettingsTool.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace pierline {
namespace {

using test::CliRun;
using test::runPierline;

const QString kRules = QStringLiteral("contextRules_v1");

CliRun cli(const QStringList& args, int exitCode = 0, const QString& message = {},
           const QMap<QString, QString>& env = {}) {
    const CliRun run = runPierline(args, env);
    EXPECT_EQ(run.exitCode, exitCode) << args.join(' ').toStdString() << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(message)) << args.join(' ').toStdString() << ": " << run.err.toStdString();
    return run;
}

class RuleCommands : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"Mail", "Code", "Quiet"})
            ids[name] = cli({"preset", "create", name}).out.trimmed();
    }
    QJsonArray rules() {
        return QJsonDocument::fromJson(cli({"rule", "list", "--json"}).out.toUtf8()).object().value("rules").toArray();
    }
    QStringList texts() {
        QStringList out;
        for (const QJsonValue& rule : rules())
            out << rule.toObject().value("text").toString() + " -> " + rule.toObject().value("presetName").toString();
        return out;
    }
    std::optional<QVariant> stored() const { return UserDefaults::standard().object(kRules); }

    test::TempHome home;
    QMap<QString, QString> ids;
};

TEST_F(RuleCommands, AddListMoveAndRemoveKeepTheOrder) {
    EXPECT_EQ(cli({"rule", "list"}).out.trimmed(), "No context rules");
    EXPECT_EQ(cli({"rule", "add", "--workspace", "2", "Code"}).out.trimmed(), "Added rule 0: workspace 2 -> Code");
    cli({"rule", "add", "--dnd", "on", "Quiet"});
    cli({"rule", "add", "--displays", "HDMI-1, eDP-1", "Mail", "--at", "0"});
    cli({"rule", "add", "--display", "DP-1", "Mail", "--at", "3"});
    cli({"rule", "add", "--network", "Home", "Code"});
    cli({"rule", "add", "--offline", "Quiet"});
    cli({"rule", "add", "--workspace-name", "Chat", "Mail", "--at", "1"});
    EXPECT_EQ(texts(),
              (QStringList{"displays HDMI-1,eDP-1 -> Mail", "workspace-name Chat -> Mail", "workspace 2 -> Code",
                           "dnd on -> Quiet", "display DP-1 -> Mail", "network Home -> Code", "offline -> Quiet"}));
    const QJsonObject first = rules().first().toObject();
    EXPECT_EQ(first.value("condition").toString(), "displays");
    EXPECT_EQ(first.value("names").toArray(), (QJsonArray{"HDMI-1", "eDP-1"}));
    EXPECT_EQ(first.value("presetID").toString(), ids["Mail"]);
    EXPECT_EQ(first.value("position").toInt(), 0);

    EXPECT_EQ(cli({"rule", "move", "6", "0"}).out.trimmed(), "Moved rule 6 to 0");
    EXPECT_EQ(cli({"rule", "remove", "2"}).out.trimmed(), "Removed rule 2");
    EXPECT_EQ(texts(), (QStringList{"offline -> Quiet", "displays HDMI-1,eDP-1 -> Mail", "workspace 2 -> Code",
                                    "dnd on -> Quiet", "display DP-1 -> Mail", "network Home -> Code"}));

    // A rule whose preset was deleted stays, shown as such.
    cli({"preset", "delete", "Quiet"});
    const QStringList lines = cli({"rule", "list"}).out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("0. offline -> (deleted preset %1)").arg(ids["Quiet"]));
    EXPECT_EQ(lines[1], "1. displays HDMI-1,eDP-1 -> Mail");
}

TEST_F(RuleCommands, BadInputIsAUsageErrorAndStoresNothing) {
    cli({"rule", "add", "--workspace", "1", "Mail"});
    const auto before = stored();
    const struct {
        QStringList args;
        const char* message;
    } bad[] = {
        {{"add", "--workspace", "1", "Nope"}, "No preset named 'Nope'."},
        {{"add", "--workspace", "-1", "Mail"}, "--workspace must be a whole number of 0 or more, got '-1'"},
        {{"add", "--workspace=one", "Mail"}, "--workspace must be a whole number of 0 or more, got 'one'"},
        {{"add", "--workspace-name", "", "Mail"}, "--workspace-name needs a name that is not empty"},
        {{"add", "--network", " ", "Mail"}, "--network needs a name that is not empty"},
        {{"add", "--display", "", "Mail"}, "--display needs a name that is not empty"},
        {{"add", "--displays", "HDMI-1,,eDP-1", "Mail"}, "with none empty; got 'HDMI-1,,eDP-1'"},
        {{"add", "--displays", "", "Mail"}, "with none empty"},
        {{"add", "--dnd", "maybe", "Mail"}, "--dnd takes on or off, got 'maybe'"},
        {{"add", "Mail"}, "Give one condition"},
        {{"add", "--offline", "--dnd", "on", "Mail"}, "Give one condition"},
        {{"add", "--offline"}, "Expected one PRESET"},
        {{"add", "--offline", "Mail", "--at", "2"}, "POSITION 2 is out of range (1 rule)"},
        {{"add", "--offline", "Mail", "--at", "-1"}, "POSITION"},
        {{"remove", "1"}, "POSITION 1 is out of range"},
        {{"remove", "x"}, "POSITION"},
        {{"move", "0", "1"}, "TO 1 is out of range"},
        {{"move", "3", "0"}, "FROM 3 is out of range"},
        {{"frobnicate"}, "Unknown rule subcommand: frobnicate"},
    };
    for (const auto& c : bad) {
        cli(QStringList{"rule"} + c.args, 2, QString::fromUtf8(c.message));
        EXPECT_EQ(stored(), before) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(rules().size(), 1);
}

TEST_F(RuleCommands, AStoredTableThatCannotBeReadIsReportedAndKept) {
    const QByteArray damaged("{\"not\": \"a list\"}");
    UserDefaults::standard().set(kRules, damaged);
    for (const QStringList& args : {QStringList{"rule", "add", "--offline", "Mail"}, QStringList{"rule", "remove", "0"},
                                    QStringList{"rule", "move", "0", "0"}})
        cli(args, 1,
            "The stored context rules cannot be read (the stored value is not a list); nothing was changed. Remove "
            "them with `defaults delete com.corvane.pierline contextRules_v1` to start over.");
    cli({"rule", "list"}, 1, "The stored context rules cannot be read: the stored value is not a list");
    EXPECT_EQ(stored(), QVariant(damaged));

    // One entry that cannot be read is shown and kept in its place.
    UserDefaults::standard().set(
        kRules, QByteArray("[{\"condition\": \"tides\", \"presetID\": \"" + ids["Mail"].toUtf8() + "\"}]"));
    cli({"rule", "add", "--offline", "Mail"});
    EXPECT_EQ(cli({"rule", "list"}).out.trimmed().split('\n'),
              (QStringList{"0. (cannot be read: unknown condition 'tides'; kept as stored)", "1. offline -> Mail"}));
}

TEST_F(RuleCommands, CheckSaysWhatCannotBeWatchedAndWhichRuleWins) {
    QTemporaryDir config;
    const QMap<QString, QString> headless{{"DISPLAY", ""},
                                          {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + config.filePath("no-bus")},
                                          {"GSETTINGS_BACKEND", "keyfile"},
                                          {"XDG_CONFIG_HOME", config.path()}};
    cli({"rule", "add", "--workspace", "0", "Code"});
    cli({"rule", "add", "--dnd", "on", "Quiet"});
    cli({"rule", "add", "--dnd", "off", "Mail"});
    cli({"preset", "delete", "Quiet"});
    QStringList lines = cli({"rule", "check"}, 0, {}, headless).out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("workspace: not watched: no X server")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "dnd: watched, now off");
    EXPECT_EQ(lines[2], "displays: not watched: the screens are watched only by the running app");
    EXPECT_TRUE(lines[3].startsWith("network: not watched: no system bus")) << lines[3].toStdString();
    EXPECT_EQ(lines[4], "Wins now: 2. dnd off -> Mail");

    const QJsonObject json =
        QJsonDocument::fromJson(cli({"rule", "check", "--json"}, 0, {}, headless).out.toUtf8()).object();
    EXPECT_EQ(json.value("context").toObject(), (QJsonObject{{"dnd", false}}));
    EXPECT_EQ(json.value("winner").toObject().value("presetName").toString(), "Mail");
    EXPECT_TRUE(json.value("skipped").toArray().isEmpty());
    EXPECT_EQ(json.value("watchers").toArray().size(), 4);

    // Do Not Disturb on: the rule for it names a deleted preset, and no other holds.
    test::runGsettings({"set", "org.gnome.desktop.notifications", "show-banners", "false"}, headless);
    lines = cli({"rule", "check"}, 0, {}, headless).out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    EXPECT_EQ(lines[1], "dnd: watched, now on");
    EXPECT_EQ(lines[4],
              QStringLiteral("Skipped, its preset is gone: 1. dnd on -> (deleted preset %1)").arg(ids["Quiet"]));
    EXPECT_EQ(lines[5], "No rule wins now");

    cli({"settings", "set", "contextRulesEnabled", "false"});
    EXPECT_TRUE(cli({"rule", "check"}, 0, {}, headless).out.contains("Context rules are off (contextRulesEnabled)"));
}

} // namespace
} // namespace pierline
