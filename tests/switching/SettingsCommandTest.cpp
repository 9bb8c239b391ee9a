// `pierline settings` driven through the real binary against a temporary home.
#include "platform/UserDefaults.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

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
    EXPECT_EQ(lines.size(), 31);
    EXPECT_EQ(lines.value(0), "closeOtherApps = false");
    EXPECT_TRUE(lines.contains("multiPressWindowMs = 0.5"));
    EXPECT_TRUE(lines.contains("excludedApps = []"));
    EXPECT_TRUE(lines.contains("plankDock = dock1"));
    EXPECT_TRUE(lines.contains("contextRulesEnabled = true"));

    const CliRun json = settings({"--json"});
    EXPECT_EQ(json.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(object.size(), 31);
    EXPECT_TRUE(object.value("useDockutil").isBool());
    EXPECT_EQ(object.value("scopeTimeoutSeconds").toDouble(), 3.0);
    EXPECT_TRUE(object.value("excludedPresetIds").isArray());
    EXPECT_EQ(object.value("menuBarLogo").toString(), "logo-no-bg");
}

TEST_F(SettingsCommand, SetThenGetKeepsEachTypeAndTheEdgesOfTheSliders) {
    const std::pair<const char*, const char*> values[] = {
        {"closeOtherApps", "true"},           {"multiPressWindowMs", "0.2"},   {"scopeTimeoutSeconds", "10"},
        {"lastContextAutoCloseSeconds", "5"}, {"menuBarLogo", "simple white"}, {"appMode", "foo"},
    };
    for (const auto& [key, value] : values)
        EXPECT_EQ(settings({"set", key, value}).exitCode, 0) << key;
    for (const auto& [key, value] : values)
        EXPECT_EQ(get(key), value);
}

TEST_F(SettingsCommand, ListsHoldBundlePathsAndIdsOfPresets) {
    const QString cafe = home.makeBundle("Applications", "Café", "com.example.cafe");
    const CliRun set = settings({"set", "excludedApps", QString(R"(["Café","%1/","file://%1"])").arg(cafe)});
    EXPECT_EQ(set.exitCode, 0) << set.err.toStdString();
    EXPECT_EQ(get("excludedApps").toStdString(), QString(R"(["%1"])").arg(cafe).toStdString());
    // A desktop app by desktop ID (found through XDG_DATA_HOME); ".app" stays in its name.
    const QString desktop =
        home.write("share/applications/org.example.Mail.app.desktop", "[Desktop Entry]\nName=Mail\n");
    const CliRun byId = runPierline({"settings", "set", "excludedApps", R"(["org.example.Mail.app.desktop"])"},
                                    {{"XDG_DATA_HOME", home.file("share")}});
    EXPECT_EQ(byId.exitCode, 0) << byId.err.toStdString();
    EXPECT_EQ(get("excludedApps").toStdString(), QString(R"(["%1"])").arg(desktop).toStdString());

    const CliRun created = runPierline({"preset", "create", "Work"});
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    const QString id = created.out.trimmed();
    EXPECT_EQ(settings({"set", "excludedPresetIds", QString(R"(["%1"])").arg(id.toLower())}).exitCode, 0);
    EXPECT_EQ(get("excludedPresetIds").toStdString(), QString(R"(["%1"])").arg(id).toStdString());
    EXPECT_EQ(settings({"set", "excludedApps", "[]"}).exitCode, 0);
    EXPECT_EQ(get("excludedApps"), "[]");
}

TEST_F(SettingsCommand, RefusesUnknownKeysWrongTypesValuesOffTheSlidersAndUnknownAppsOrPresets) {
    const std::pair<QStringList, QString> cases[] = {
        {{"set", "closeOtherApps", "yes"}, "Invalid value for closeOtherApps: expected true or false"},
        {{"set", "scopeTimeoutSeconds", "soon"}, "Invalid value for scopeTimeoutSeconds: expected a number"},
        {{"set", "scopeTimeoutSeconds", "nan"}, "Invalid value for scopeTimeoutSeconds: expected a number"},
        {{"set", "excludedApps", R"({"a":1})"}, "Invalid value for excludedApps: expected a JSON array of strings"},
        {{"set", "excludedApps", R"(["a",2])"}, "Invalid value for excludedApps: expected a JSON array of strings"},
        {{"set", "scopeTimeoutSeconds", "0.5"}, "Invalid value for scopeTimeoutSeconds: must be from 1 to 10"},
        {{"set", "multiPressWindowMs", "500"}, "Invalid value for multiPressWindowMs: must be from 0.2 to 1"},
        {{"set", "lastContextAutoCloseSeconds", "61"}, "lastContextAutoCloseSeconds: must be from 5 to 60"},
        {{"set", "excludedApps", R"(["Nowhere"])"}, "Invalid value for excludedApps: no application 'Nowhere'"},
        {{"set", "excludedPresetIds", R"(["Work"])"}, "Invalid value for excludedPresetIds: 'Work' is not a preset"},
        {{"set", "excludedPresetIds", QString(R"(["%1"])").arg(QUuid::createUuid().toString(QUuid::WithoutBraces))},
         "Invalid value for excludedPresetIds: no preset has the id"},
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
    EXPECT_EQ(get("excludedPresetIds"), "[]");
}

// A settings file that cannot be read is reported, never replaced; a failed write is an error.
TEST_F(SettingsCommand, AnUnreadableFileIsKeptAndAFailedWriteIsReported) {
    pierline::UserDefaults defaults("com.corvane.pierline");
    for (const char* key : {"closeOtherApps", "lockDockEnabled", "skipApplyIfSamePreset", "hideHarborletCTA"})
        defaults.set(key, true);
    const QByteArray whole = readFile(defaults.filePath()).toUtf8();
    const QByteArray truncated = whole.left(whole.size() / 2);
    home.write("Library/Preferences/com.corvane.pierline.plist", truncated);

    const std::pair<QStringList, QString> cases[] = {
        {{"set", "appMode", "dockAppOnly"}, "Could not set appMode: " + defaults.filePath()},
        {{"get", "appMode"}, "Could not read the settings: " + defaults.filePath()},
        {{}, "Could not read the settings: "},
        {{"--json"}, "Could not read the settings: "},
    };
    for (const auto& [args, message] : cases) {
        const CliRun run = settings(args);
        EXPECT_EQ(run.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
    EXPECT_EQ(readFile(defaults.filePath()).toUtf8(), truncated);

    home.write("Library/Preferences/com.corvane.pierline.plist", whole);
    ASSERT_TRUE(QFile::remove(pierline::UserDefaults::lockFilePath(defaults.filePath())));
    ASSERT_TRUE(QDir().mkpath(pierline::UserDefaults::lockFilePath(defaults.filePath())));
    const CliRun run = settings({"set", "appMode", "dockAppOnly"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Could not set appMode: cannot open")) << run.err.toStdString();
    EXPECT_EQ(get("appMode"), "menuBarOnly");
}

TEST_F(SettingsCommand, LaunchAtLoginWritesAndRemovesTheAutostartEntry) {
    const QString entry = xdg.filePath("config/autostart/pierline.desktop");
    home.makeBundle("Applications", "PierlineHelper", "com.corvane.PierlineHelper");
    EXPECT_EQ(settings({"set", "launchAtLogin", "true"}).exitCode, 0);
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_EQ(settings({"set", "launchAtLogin", "false"}).exitCode, 0);
    EXPECT_FALSE(QFile::exists(entry));
}
