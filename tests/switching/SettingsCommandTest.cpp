// `pierline settings` driven through the real binary against a temporary home.
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

using namespace pierline::test;

namespace {

class SettingsCommand : public ::testing::Test {
protected:
    CliRun settings(const QStringList& args) {
        return runPierline(QStringList{"settings"} + args,
                           {{"XDG_CONFIG_HOME", xdg.filePath("config")}, {"XDG_DATA_HOME", xdg.filePath("data")}});
    }
    QString get(const QString& key) { return settings({"get", key}).out.trimmed(); }

    TempHome home;
    QTemporaryDir xdg;
};

} // namespace

TEST_F(SettingsCommand, ListsEverySettingAsTextAndJson) {
    const CliRun text = settings({});
    EXPECT_EQ(text.exitCode, 0);
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 27);
    EXPECT_EQ(lines.value(0), "closeOtherApps = false");
    EXPECT_TRUE(lines.contains("multiPressWindowMs = 0.5"));
    EXPECT_TRUE(lines.contains("excludedApps = []"));

    const CliRun json = settings({"--json"});
    EXPECT_EQ(json.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(object.size(), 27);
    EXPECT_TRUE(object.value("useDockutil").isBool());
    EXPECT_EQ(object.value("scopeTimeoutSeconds").toDouble(), 3.0);
    EXPECT_TRUE(object.value("excludedPresetIds").isArray());
    EXPECT_EQ(object.value("menuBarLogo").toString(), "logo-no-bg");
}

TEST_F(SettingsCommand, SetThenGetKeepsEachType) {
    const std::pair<const char*, const char*> values[] = {
        {"closeOtherApps", "true"},
        {"multiPressWindowMs", "0.25"},
        {"menuBarLogo", "simple white"},
        {"excludedApps", R"(["/Applications/Bob's App.app","Café"])"},
    };
    for (const auto& [key, value] : values)
        EXPECT_EQ(settings({"set", key, value}).exitCode, 0) << key;
    for (const auto& [key, value] : values)
        EXPECT_EQ(get(key), value);
    EXPECT_EQ(settings({"set", "excludedApps", "[]"}).exitCode, 0);
    EXPECT_EQ(get("excludedApps"), "[]");
}

TEST_F(SettingsCommand, RefusesUnknownKeysAndValuesOfTheWrongType) {
    const std::pair<QStringList, QString> cases[] = {
        {{"set", "closeOtherApps", "yes"}, "Invalid value for closeOtherApps: expected true or false"},
        {{"set", "scopeTimeoutSeconds", "soon"}, "Invalid value for scopeTimeoutSeconds: expected a number"},
        {{"set", "scopeTimeoutSeconds", "nan"}, "Invalid value for scopeTimeoutSeconds: expected a number"},
        {{"set", "excludedApps", R"({"a":1})"}, "Invalid value for excludedApps: expected a JSON array of strings"},
        {{"set", "excludedApps", R"(["a",2])"}, "Invalid value for excludedApps: expected a JSON array of strings"},
        {{"get", "noSuchSetting"}, "Unknown setting: noSuchSetting"},
        {{"set", "noSuchSetting", "1"}, "Unknown setting: noSuchSetting"},
        {{"set", "closeOtherApps"}, "settings set takes a KEY and a VALUE."},
        {{"frobnicate"}, "Unknown settings action: frobnicate"},
    };
    for (const auto& [args, message] : cases) {
        const CliRun run = settings(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
    }
    EXPECT_EQ(get("closeOtherApps"), "false");
    EXPECT_EQ(get("scopeTimeoutSeconds"), "3");
    EXPECT_EQ(get("excludedApps"), "[]");
}

TEST_F(SettingsCommand, LaunchAtLoginTouchesTheAutostartEntryOnlyWithTheHelperInstalled) {
    const QString entry = xdg.filePath("config/autostart/pierline.desktop");
    EXPECT_EQ(settings({"set", "launchAtLogin", "true"}).exitCode, 0);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(get("launchAtLogin"), "true");

    home.makeBundle("Applications", "PierlineHelper", "com.corvane.PierlineHelper");
    EXPECT_EQ(settings({"set", "launchAtLogin", "true"}).exitCode, 0);
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_EQ(settings({"set", "launchAtLogin", "false"}).exitCode, 0);
    EXPECT_FALSE(QFile::exists(entry));
}
