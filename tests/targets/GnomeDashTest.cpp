// Drives `pierline` against the real GSettings machinery in a private home: the keyfile backend
// by default, dconf on a private session bus when PIERLINE_TEST_GSETTINGS_BACKEND=dconf.
#include "support/GSettingsTool.h"
#include "support/PierlineCli.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace pierline {
namespace {

using test::CliRun;

class GnomeDash : public ::testing::Test {
protected:
    void SetUp() override {
        env_["PIERLINE_HOME"] = path("home");
        env_["XDG_DATA_HOME"] = path("data");
        env_["XDG_DATA_DIRS"] = path("system") + ":/usr/share";
        env_["XDG_CURRENT_DESKTOP"] = "ubuntu:GNOME";
        if (!onDconf()) {
            env_["HOME"] = path("user");
            env_["XDG_CONFIG_HOME"] = path("config");
            env_["GSETTINGS_BACKEND"] = "keyfile";
        }
        QDir().mkpath(path("home"));
        setDash({});
    }

    static bool onDconf() { return qgetenv("PIERLINE_TEST_GSETTINGS_BACKEND") == "dconf"; }
    QString path(const QString& relative) const { return root_.filePath(relative); }
    QString apps(const QString& relative = {}) const { return path("data/applications/") + relative; }

    CliRun pierline(const QStringList& args, const QMap<QString, QString>& extra = {}) const {
        QMap<QString, QString> env = env_;
        env.insert(extra);
        return test::runPierline(args, env);
    }
    QString gsettings(const QStringList& args) const { return test::runGsettings(args, env_); }
    void setDash(const QStringList& ids) const {
        gsettings({"set", "org.gnome.shell", "favorite-apps", test::gvariantStringList(ids)});
    }
    QStringList dash() const {
        return test::parseGvariantStringList(gsettings({"get", "org.gnome.shell", "favorite-apps"}));
    }
    void desktopFile(const QString& file, const QString& name) const {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=true\n").arg(name).toUtf8());
    }
    QJsonObject dockJson() const {
        const CliRun run = pierline({"dock", "--json"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }
    QStringList generatedFiles() const { return QDir(apps()).entryList({"pierline-*.desktop"}, QDir::Files); }

    QTemporaryDir root_;
    QMap<QString, QString> env_;
};

TEST_F(GnomeDash, ApplyPutsASavedDashBackWithMissingDesktopFilesKept) {
    desktopFile(apps("org/gnome/Mail.desktop"), "Mail");
    desktopFile(path("system/applications/editor.desktop"), "Editor");
    const QStringList saved{"org-gnome-Mail.desktop", "gone.desktop", "editor.desktop"};
    setDash(saved);

    CliRun run = pierline({"preset", "create", "Work", "--from-dock"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray stored = dockJson()["apps"].toArray();
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[0].toString(), "file://" + apps("org/gnome/Mail.desktop"));
    EXPECT_EQ(stored[1].toString(), "file://" + apps("gone.desktop"));

    setDash({"editor.desktop"});
    run = pierline({"apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(dash(), saved);
    EXPECT_TRUE(generatedFiles().isEmpty());

    // An empty dash is a layout too, and reads back as one.
    ASSERT_EQ(pierline({"preset", "create", "Empty"}).exitCode, 0);
    ASSERT_EQ(pierline({"apply", "Empty", "--yes"}).exitCode, 0);
    EXPECT_EQ(dash(), QStringList());
    EXPECT_EQ(dockJson(), QJsonObject({{"apps", QJsonArray()}, {"items", QJsonArray()}}));
}

TEST_F(GnomeDash, OddFavouritesAreWrittenBackAsTheyWere) {
    desktopFile(apps("editor.desktop"), "Editor");
    desktopFile(path("x.desktop"), "Outside");
    const QStringList saved{"", "firefox", path("x.desktop"), "../x.desktop", "editor.desktop", "My App.desktop"};
    setDash(saved);
    CliRun run = pierline({"preset", "create", "Odd", "--from-dock"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(dockJson()["apps"].toArray().size(), saved.size());
    setDash({"editor.desktop"});
    run = pierline({"apply", "Odd"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(dash(), saved);
}

TEST_F(GnomeDash, FoldersFilesAndLinksShowAsGeneratedLaunchersAndReadBack) {
    desktopFile(apps("editor.desktop"), "Editor");
    QDir().mkpath(path("docs/Reports 2024"));
    QFile(path("docs/plan.txt")).open(QIODevice::WriteOnly);
    setDash({"editor.desktop"});
    ASSERT_EQ(pierline({"preset", "create", "Work", "--from-dock"}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "add-folder", "Work", path("docs/Reports 2024"), "--display-as", "stack"}).exitCode,
              0);
    ASSERT_EQ(pierline({"preset", "add-file", "Work", path("docs/plan.txt"), "--label", "Plan"}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "add-url", "Work", "https://example.org/a%20b", "--label", "Site"}).exitCode, 0);

    const CliRun run = pierline({"apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList ids = dash();
    ASSERT_EQ(ids.size(), 4);
    EXPECT_EQ(ids[0], "editor.desktop");
    EXPECT_EQ(generatedFiles().size(), 3);
    for (qsizetype i = 1; i < ids.size(); ++i)
        EXPECT_TRUE(QFile::exists(apps(ids[i]))) << ids[i].toStdString();

    // Read back from the dash: the same apps and the same items, stack options included.
    const QJsonArray items = dockJson()["items"].toArray();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]["tileType"].toString(), "directory-tile");
    EXPECT_EQ(items[0]["tileData"]["displayAs"].toString(), "stack");
    EXPECT_TRUE(items[0]["tileData"]["fileData"]["CFURLString"].toString().contains("Reports"));
    EXPECT_EQ(items[1]["tileType"].toString(), "file-tile");
    EXPECT_EQ(items[1]["tileData"]["fileLabel"].toString(), "Plan");
    EXPECT_EQ(items[2]["tileType"].toString(), "url-tile");
    EXPECT_EQ(items[2]["tileData"]["label"].toString(), "Site");

    // Saving that dash into a preset and applying it changes nothing.
    ASSERT_EQ(pierline({"preset", "create", "Copy", "--from-dock"}).exitCode, 0);
    ASSERT_EQ(pierline({"apply", "Copy"}).exitCode, 0);
    EXPECT_EQ(dash(), ids);
}

TEST_F(GnomeDash, CustomSpacersAreSkippedLikeSpacers) {
    desktopFile(apps("editor.desktop"), "Editor");
    const QString spacer = path("home/Library/Application Support/Pierline/CustomSpaces/Work Left.app");
    // A bundle as the spacer commands make it, as far as the import and the dash look.
    desktopFile(spacer + "/Contents/MacOS/stub", "stub");
    QFile::setPermissions(spacer + "/Contents/MacOS/stub", QFile::ReadOwner | QFile::ExeOwner);
    QFile info(spacer + "/Contents/Info.plist");
    ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    info.write("<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>stub</string>"
               "<key>CFBundleIdentifier</key><string>com.pierline.customspace.work left</string></dict></plist>");
    info.close();
    const QString spacerUrl = QUrl::fromLocalFile(spacer + "/").toString(QUrl::FullyEncoded);
    const QString apps =
        QJsonDocument(QJsonArray{spacerUrl, "file://" + this->apps("editor.desktop")}).toJson(QJsonDocument::Compact);
    QFile backup(path("backup.json"));
    ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
    backup.write(QJsonDocument(QJsonArray{QJsonObject{{"name", "Work"},
                                                      {"createdAt", "2025-03-01T09:15:00Z"},
                                                      {"apps", apps},
                                                      {"folderStacks", QJsonArray()}}})
                     .toJson());
    backup.close();
    CliRun run = pierline({"import", path("backup.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    run = pierline({"-v", "apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(dash(), QStringList{"editor.desktop"});
    EXPECT_TRUE(run.err.contains("Skipping 1 spacer(s): the GNOME dash has no spacers")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("takes desktop files")) << run.err.toStdString();
    EXPECT_TRUE(generatedFiles().isEmpty());
}

TEST_F(GnomeDash, OnlyGeneratedLaunchersNoPresetUsesAreRemoved) {
    desktopFile(apps("pierline-handmade.desktop"), "Mine");
    desktopFile(apps("notes.desktop"), "Notes");
    QFile handmade(apps("pierline-handmade.desktop"));
    ASSERT_TRUE(handmade.open(QIODevice::ReadOnly));
    const QByteArray handmadeBytes = handmade.readAll();

    ASSERT_EQ(pierline({"preset", "create", "Links"}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "add-url", "Links", "https://one.example", "--label", "One"}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "add-url", "Links", "https://two.example", "--label", "Two"}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "create", "Other"}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "add-url", "Other", "https://two.example", "--label", "Two"}).exitCode, 0);
    ASSERT_EQ(pierline({"apply", "Links"}).exitCode, 0);
    const QStringList both = generatedFiles();
    ASSERT_EQ(both.size(), 3); // the hand-made one too

    // "One" leaves the only preset that had it; "Two" stays for "Other".
    ASSERT_EQ(pierline({"preset", "remove-item", "Links", "0"}).exitCode, 0);
    ASSERT_EQ(pierline({"apply", "Other"}).exitCode, 0);
    EXPECT_EQ(generatedFiles(), QStringList({dash().value(0)}) + QStringList{"pierline-handmade.desktop"});
    QFile after(apps("pierline-handmade.desktop"));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), handmadeBytes);
    EXPECT_TRUE(QFile::exists(apps("notes.desktop")));
}

TEST_F(GnomeDash, TargetIsChosenBySettingThenHomeThenDesktop) {
    const auto target = [&](const QMap<QString, QString>& env) {
        const CliRun run = pierline({"target", "--json"}, env);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QJsonObject answer = QJsonDocument::fromJson(run.out.toUtf8()).object();
        return answer["target"].toString() + (answer["fromSetting"].toBool() ? "/setting" : "/detected");
    };
    EXPECT_EQ(target({}), "gnome/detected");
    EXPECT_EQ(target({{"XDG_CURRENT_DESKTOP", "ubuntu"}}), "gnome/detected");
    EXPECT_EQ(target({{"XDG_CURRENT_DESKTOP", "KDE"}}), "sandbox/detected");
    EXPECT_EQ(target({{"XDG_CURRENT_DESKTOP", ""}}), "sandbox/detected");

    EXPECT_EQ(pierline({"settings", "set", "dockTarget", "kde"}).exitCode, 2);
    ASSERT_EQ(pierline({"settings", "set", "dockTarget", "sandbox"}).exitCode, 0);
    EXPECT_EQ(target({}), "sandbox/setting");
    ASSERT_EQ(pierline({"settings", "set", "dockTarget", ""}).exitCode, 0);
    EXPECT_EQ(target({}), "gnome/detected");

    // A home that holds an emulated Dock stays on it on any desktop.
    ASSERT_EQ(pierline({"sandbox", "init", "--force"}).exitCode, 0);
    EXPECT_EQ(target({}), "sandbox/detected");
}

TEST_F(GnomeDash, AnUnreachableDashSaysWhyAndIsLeftAlone) {
    if (onDconf())
        GTEST_SKIP() << "the cases set their own backend";
    QDir().mkpath(path("empty"));
    const struct {
        QMap<QString, QString> env;
        const char* reason;
    } cases[] = {
        {{{"XDG_DATA_DIRS", path("empty")}}, "org.gnome.shell"},
        {{{"GSETTINGS_BACKEND", "memory"}}, "no settings backend"},
        {{{"GSETTINGS_BACKEND", "dconf"},
          {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path("empty/no-bus")},
          {"DISPLAY", ""}},
         "no session bus"},
    };
    for (const auto& c : cases) {
        const CliRun check = pierline({"target", "check"}, c.env);
        EXPECT_EQ(check.exitCode, 1);
        EXPECT_TRUE(check.err.contains(c.reason)) << check.err.toStdString();
        const CliRun dock = pierline({"dock"}, c.env);
        EXPECT_EQ(dock.exitCode, 1);
        EXPECT_TRUE(dock.err.contains(c.reason)) << dock.err.toStdString();
    }
    EXPECT_EQ(pierline({"target", "check"}).exitCode, 0);
}

} // namespace
} // namespace pierline
