// `pierline theme` through the binary: on a fresh home, with bad files, and handed to a running app.
#include "support/PierlineCli.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace pierline::test;

namespace {

class ThemeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        ASSERT_EQ(runPierline({"sandbox", "init"}, env_).exitCode, 0);
    }
    QString themes() const { return dir_.filePath("home/Library/Application Support/Pierline/Themes"); }
    CliRun run(const QStringList& args) { return runPierline(args, env_); }

    QTemporaryDir dir_;
    QMap<QString, QString> env_;
};

TEST_F(ThemeCommand, ListCurrentSwitchAndCheck) {
    const CliRun list = run({"theme", "list"});
    ASSERT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_EQ(list.out, QStringLiteral("* pierline-default  Pierline Default  1.1  %1/Pierline-Default.json\n"
                                       "  pierline-neon  Neon  1.0  %1/Pierline-Neon.json\n"
                                       "  pierline-ocean  Ocean  1.0  %1/Pierline-Ocean.json\n")
                            .arg(themes()));
    EXPECT_EQ(run({"theme", "current"}).out, QStringLiteral("pierline-default  Pierline Default  light\n"));

    const CliRun switched = run({"theme", "switch", "pierline-neon"});
    EXPECT_EQ(switched.exitCode, 0) << switched.err.toStdString();
    const CliRun unknown = run({"theme", "switch", "no-such"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, QStringLiteral("Theme not found: no-such\n"));

    const QJsonArray entries = QJsonDocument::fromJson(run({"theme", "list", "--json"}).out.toUtf8()).array();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[1].toObject(), (QJsonObject{{"id", "pierline-neon"},
                                                  {"name", "Neon"},
                                                  {"version", "1.0"},
                                                  {"file", themes() + "/Pierline-Neon.json"},
                                                  {"current", true}}));
    EXPECT_FALSE(entries[0].toObject().value("current").toBool());

    const QJsonObject current = QJsonDocument::fromJson(run({"theme", "current", "--json"}).out.toUtf8()).object();
    EXPECT_EQ(current.value("id").toString(), QStringLiteral("pierline-neon"));
    EXPECT_EQ(current.value("appearance").toString(), QStringLiteral("light"));
    EXPECT_EQ(current.keys(), (QStringList{"appearance", "author", "dark_mode", "description", "id", "layout",
                                           "light_mode", "name", "version"}));
    EXPECT_EQ(current.value("light_mode").toObject().value("shadowColor").toObject().keys(),
              (QStringList{"blue", "green", "opacity", "red"}));

    // The home's global domain asks for dark.
    const QString global = dir_.filePath("home/Library/Preferences/.GlobalPreferences.plist");
    QFile plist(global);
    ASSERT_TRUE(plist.open(QIODevice::WriteOnly));
    plist.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                "<key>AppleInterfaceStyle</key><string>Dark</string></dict></plist>\n");
    plist.close();
    EXPECT_EQ(run({"theme", "current"}).out, QStringLiteral("pierline-neon  Neon  dark\n"));

    EXPECT_EQ(run({"theme", "check", themes() + "/Pierline-Ocean.json"}).out, QStringLiteral("ok\n"));
    QFile bad(dir_.filePath("bad.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.close();
    const CliRun empty = run({"theme", "check", dir_.filePath("bad.json")});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.err.startsWith("Invalid theme JSON: ")) << empty.err.toStdString();
    const CliRun missing = run({"theme", "check", dir_.filePath("none.json")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, QStringLiteral("Theme file not found at: %1\n").arg(dir_.filePath("none.json")));
}

TEST_F(ThemeCommand, UsageHelpAndAMissingHome) {
    EXPECT_EQ(run({"theme"}).exitCode, 2);
    EXPECT_EQ(run({"theme", "paint"}).exitCode, 2);
    EXPECT_EQ(run({"theme", "switch"}).exitCode, 2);
    EXPECT_EQ(run({"theme", "list", "extra"}).exitCode, 2);
    for (const char* sub : {"list", "current", "switch", "check"}) {
        const CliRun help = run({"theme", sub, "--help"});
        EXPECT_EQ(help.exitCode, 0) << sub;
        EXPECT_TRUE(help.out.startsWith("Usage: pierline theme")) << help.out.toStdString();
    }
    const QString gone = dir_.filePath("no-home");
    const CliRun refused = runPierline({"theme", "list"}, {{"PIERLINE_HOME", gone}});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.err.contains("does not exist")) << refused.err.toStdString();
    EXPECT_FALSE(QFile::exists(gone));
}

TEST_F(ThemeCommand, ABadFileIsSkippedWithAWarningAndKept) {
    ASSERT_EQ(run({"theme", "list"}).exitCode, 0);
    QFile bad(themes() + "/Broken.json");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("{\"id\": 3}");
    bad.close();
    const CliRun list = run({"theme", "list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out.count('\n'), 3);
    EXPECT_TRUE(list.err.contains(QStringLiteral("[ThemeManager] Failed to load theme from %1/Broken.json: Invalid "
                                                 "theme JSON: id is a number, not a string")
                                      .arg(themes())))
        << list.err.toStdString();
    QFile kept(themes() + "/Broken.json");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("{\"id\": 3}"));
}

TEST_F(ThemeCommand, SwitchIsHandedToTheRunningApp) {
    auto app = startPierline({"run"}, env_);
    ASSERT_TRUE(app->waitForStarted());
    ASSERT_TRUE(waitForRunningApp(*app, env_)) << app->readAllStandardOutput().toStdString();
    EXPECT_EQ(run({"theme", "current"}).out, QStringLiteral("pierline-default  Pierline Default  light\n"));
    EXPECT_EQ(run({"theme", "switch", "pierline-ocean"}).exitCode, 0);
    // The app answers from its own manager, which only the switch it was handed changed: a file
    // edited since is read at the next start, not into the current theme.
    QFile ocean(themes() + "/Pierline-Ocean.json");
    ASSERT_TRUE(ocean.open(QIODevice::ReadOnly));
    const QByteArray edited = ocean.readAll().replace("\"name\": \"Ocean\"", "\"name\": \"Ocean Edited\"");
    ocean.close();
    ASSERT_TRUE(ocean.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ocean.write(edited);
    ocean.close();
    EXPECT_EQ(run({"theme", "current"}).out, QStringLiteral("pierline-ocean  Ocean  light\n"));
    const CliRun unknown = run({"theme", "switch", "no-such"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, QStringLiteral("Theme not found: no-such\n"));
    EXPECT_EQ(run({"quit"}).exitCode, 0);
    EXPECT_TRUE(app->waitForFinished(20000));
    EXPECT_EQ(run({"theme", "current"}).out, QStringLiteral("pierline-ocean  Ocean Edited  light\n"));
}

} // namespace
