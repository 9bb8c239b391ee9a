// `pierline settings` driven through the real binary against a temporary home.
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pierline::test;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class SettingsCommand : public ::testing::Test {
protected:
    CliRun pierline(const QStringList& args) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PIERLINE_HOME", home.path());
        env.insert("XDG_CONFIG_HOME", xdg.filePath("config"));
        env.insert("XDG_DATA_HOME", xdg.filePath("data"));
        process.setProcessEnvironment(env);
        process.start(PIERLINE_BINARY, QStringList{"settings"} + args);
        if (!process.waitForFinished(30000))
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    QString get(const QString& key) { return pierline({"get", key}).out.trimmed(); }

    TempHome home;
    QTemporaryDir xdg;
};

} // namespace

TEST_F(SettingsCommand, ListsEverySettingAsTextAndJson) {
    const CliRun text = pierline({});
    EXPECT_EQ(text.exitCode, 0);
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 27);
    EXPECT_EQ(lines.value(0), "closeOtherApps = false");
    EXPECT_TRUE(lines.contains("multiPressWindowMs = 0.5"));
    EXPECT_TRUE(lines.contains("excludedApps = []"));

    const CliRun json = pierline({"--json"});
    EXPECT_EQ(json.exitCode, 0);
    const QJsonObject object = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(object.size(), 27);
    EXPECT_TRUE(object.value("useDockutil").isBool());
    EXPECT_EQ(object.value("scopeTimeoutSeconds").toDouble(), 3.0);
    EXPECT_TRUE(object.value("excludedPresetIds").isArray());
    EXPECT_EQ(object.value("menuBarLogo").toString(), "logo-no-bg");
}

TEST_F(SettingsCommand, SetThenGetKeepsEachType) {
    EXPECT_EQ(pierline({"set", "closeOtherApps", "true"}).exitCode, 0);
    EXPECT_EQ(pierline({"set", "multiPressWindowMs", "0.25"}).exitCode, 0);
    EXPECT_EQ(pierline({"set", "menuBarLogo", "simple white"}).exitCode, 0);
    EXPECT_EQ(pierline({"set", "excludedApps", R"(["/Applications/Bob's App.app","Café"])"}).exitCode, 0);
    EXPECT_EQ(get("closeOtherApps"), "true");
    EXPECT_EQ(get("multiPressWindowMs"), "0.25");
    EXPECT_EQ(get("menuBarLogo"), "simple white");
    EXPECT_EQ(get("excludedApps"), R"(["/Applications/Bob's App.app","Café"])");
    EXPECT_EQ(pierline({"set", "excludedApps", "[]"}).exitCode, 0);
    EXPECT_EQ(get("excludedApps"), "[]");
}

TEST_F(SettingsCommand, RefusesUnknownKeysAndValuesOfTheWrongType) {
    struct Case {
        QStringList args;
        QString message;
    };
    const QList<Case> cases = {
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
    for (const Case& c : cases) {
        const CliRun run = pierline(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
    EXPECT_EQ(get("closeOtherApps"), "false");
    EXPECT_EQ(get("scopeTimeoutSeconds"), "3");
    EXPECT_EQ(get("excludedApps"), "[]");
}

TEST_F(SettingsCommand, LaunchAtLoginTouchesTheAutostartEntryOnlyWithTheHelperInstalled) {
    const QString entry = xdg.filePath("config/autostart/pierline.desktop");
    EXPECT_EQ(pierline({"set", "launchAtLogin", "true"}).exitCode, 0);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(get("launchAtLogin"), "true");

    home.makeBundle("Applications", "PierlineHelper", "com.corvane.PierlineHelper");
    EXPECT_EQ(pierline({"set", "launchAtLogin", "true"}).exitCode, 0);
    EXPECT_TRUE(QFile::exists(entry));
    EXPECT_EQ(pierline({"set", "launchAtLogin", "false"}).exitCode, 0);
    EXPECT_FALSE(QFile::exists(entry));
}
