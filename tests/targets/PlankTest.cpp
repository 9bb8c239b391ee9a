// Drives `pierline` against the real Plank on the test display and a private session bus (see
// run-under-session-bus), in a private home on GSettings' keyfile backend.
#include "support/EventLoop.h"
#include "support/GSettingsTool.h"
#include "support/PierlineCli.h"

#include "platform/Icns.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <csignal>
#include <gtest/gtest.h>

namespace pierline {
namespace {

using test::CliRun;

const QString kBusName = QStringLiteral("net.launchpad.plank.dock1");
// What a plain `plank` owns, as the desktop file and autostart run it.
const QString kPlainBusName = QStringLiteral("net.launchpad.plank");
const QString kOrderSchema = QStringLiteral("net.launchpad.plank.dock.settings:/net/launchpad/plank/docks/dock1/");

class Plank : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(QStandardPaths::findExecutable("plank").isEmpty())
            << "plank is not installed; scripts/bootstrap installs it";
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "Plank needs a display; run under xvfb-run";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under run-under-session-bus";
        ASSERT_FALSE(bus()->isServiceRegistered(kBusName) || bus()->isServiceRegistered(kPlainBusName))
            << "another Plank runs on this bus";
        env_["HOME"] = path("user");
        env_["XDG_CONFIG_HOME"] = path("config");
        env_["XDG_DATA_HOME"] = path("data");
        env_["XDG_CACHE_HOME"] = path("cache");
        env_["XDG_DATA_DIRS"] = "/usr/local/share:/usr/share";
        env_["XDG_CURRENT_DESKTOP"] = "";
        env_["GSETTINGS_BACKEND"] = "keyfile";
        env_["PIERLINE_HOME"] = path("home");
        env_["NO_AT_BRIDGE"] = "1";
        for (const char* folder : {"user", "home", "data/applications", "config/plank/dock1/launchers"})
            QDir().mkpath(path(folder));
        for (const char* app : {"mail", "editor", "notes", "viewer"})
            writeFile(apps(QString(app) + ".desktop"),
                      QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=true\n").arg(app).toUtf8());
    }

    void TearDown() override {
        stopPlank();
        if (plank_ && plank_->state() != QProcess::NotRunning) {
            plank_->kill();
            plank_->waitForFinished();
        }
    }

    QString path(const QString& relative) const { return root_.filePath(relative); }
    QString apps(const QString& relative) const { return path("data/applications/" + relative); }
    QString launchers(const QString& relative = {}) const { return path("config/plank/dock1/launchers/") + relative; }
    static QDBusConnectionInterface* bus() { return QDBusConnection::sessionBus().interface(); }

    static void writeFile(const QString& file, const QByteArray& text) {
        QDir().mkpath(QFileInfo(file).path());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    static QByteArray readFile(const QString& file) {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
    }
    void dockItem(const QString& name, const QString& target) const {
        writeFile(launchers(name),
                  "[PlankDockItemPreferences]\nLauncher=" + QUrl::fromLocalFile(target).toEncoded() + "\n");
    }

    CliRun pierline(const QStringList& args) const { return test::runPierline(args, env_); }
    QProcessEnvironment environment() const { return test::environmentWith(env_); }
    void setOrder(const QStringList& names) const {
        test::runGsettings({"set", kOrderSchema, "dock-items", test::gvariantStringList(names)}, env_);
    }

    // The apps Plank shows, as local paths; empty when it does not answer.
    // Whichever name the running Plank owns.
    static QString busName() { return bus()->isServiceRegistered(kPlainBusName) ? kPlainBusName : kBusName; }
    static QStringList shown() {
        QDBusInterface items(busName(), "/net/launchpad/plank/dock1", "net.launchpad.plank.Items");
        const QDBusReply<QStringList> reply = items.call("GetPersistentApplications");
        QStringList paths;
        for (const QString& uri : reply.isValid() ? reply.value() : QStringList())
            paths << QUrl(uri).toLocalFile();
        return paths;
    }
    static qint64 plankPid() {
        const QDBusReply<uint> pid = bus()->servicePid(busName());
        return pid.isValid() ? pid.value() : 0;
    }
    void startPlank(const QString& pathPrefix = {}, const QStringList& arguments = {"-n", "dock1"}) {
        QProcessEnvironment environment = this->environment();
        if (!pathPrefix.isEmpty())
            environment.insert("PATH", pathPrefix + ":" + environment.value("PATH"));
        plank_ = std::make_unique<QProcess>();
        plank_->setProcessEnvironment(environment);
        plank_->setStandardOutputFile(QProcess::nullDevice());
        plank_->setStandardErrorFile(QProcess::nullDevice());
        plank_->start(QStandardPaths::findExecutable("plank"), arguments);
        ASSERT_TRUE(test::waitUntil([] { return !shown().isEmpty() || plankPid() != 0; }, 30000));
        ASSERT_TRUE(test::waitUntil(
            [] {
                return QDBusInterface(busName(), "/net/launchpad/plank/dock1", "net.launchpad.plank.Items")
                           .call("GetCount")
                           .type() == QDBusMessage::ReplyMessage;
            },
            30000));
    }
    // Stops whichever Plank holds the bus name: the test's own or one the switch started. Plank's
    // SIGTERM handler can deadlock soon after it started, so one that does not go is killed.
    void stopPlank() {
        const auto released = [] {
            return !bus()->isServiceRegistered(kBusName) && !bus()->isServiceRegistered(kPlainBusName);
        };
        const qint64 pid = plankPid();
        if (pid != 0)
            ::kill(static_cast<pid_t>(pid), SIGTERM);
        if (plank_)
            plank_->waitForFinished(10000);
        if (pid != 0 && !test::waitUntil(released, 10000))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        EXPECT_TRUE(test::waitUntil(released, 10000));
    }

    QTemporaryDir root_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> plank_;
};

TEST_F(Plank, SwitchesRestartPlankWhichShowsEachPresetInOrderAndLeavesTheUsersOwnItems) {
    dockItem("mail.dockitem", apps("mail.desktop"));
    dockItem("editor.dockitem", apps("editor.desktop"));
    writeFile(launchers("broken.dockitem"), "not a key file\n");
    setOrder({"mail.dockitem", "editor.dockitem"});
    startPlank();
    const qint64 firstPid = plankPid();

    const CliRun target = pierline({"target", "--json"});
    const QJsonObject answer = QJsonDocument::fromJson(target.out.toUtf8()).object();
    EXPECT_EQ(answer["target"].toString(), "plank") << target.out.toStdString();
    EXPECT_TRUE(answer["note"].toString().contains(QString::number(firstPid)));

    CliRun run = pierline({"preset", "create", "Work", "--from-dock"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("broken.dockitem")) << run.err.toStdString();
    // Pinned by the user after Work was saved: Reversed holds it, Work does not.
    dockItem("viewer.tmp", apps("viewer.desktop"));
    ASSERT_TRUE(QFile::rename(launchers("viewer.tmp"), launchers("viewer.dockitem")));
    setOrder({"editor.dockitem", "mail.dockitem", "viewer.dockitem"});
    ASSERT_EQ(pierline({"preset", "create", "Reversed", "--from-dock"}).exitCode, 0);

    QDir().mkpath(path("user/Reports 2024"));
    writeFile(path("user/plan #1.txt"), "plan");
    ASSERT_EQ(pierline({"preset", "add-folder", "Work", path("user/Reports 2024"), "--display-as", "stack"}).exitCode,
              0);
    ASSERT_EQ(pierline({"preset", "add-file", "Work", path("user/plan #1.txt")}).exitCode, 0);
    ASSERT_EQ(pierline({"preset", "add-url", "Work", "https://example.org/a%20b", "--label", "Site"}).exitCode, 0);
    // The user's own item for an app no preset has, pinned while Plank runs. Moved in whole:
    // Plank drops a dock item it sees half-written. The user's viewer item leaves the dock, as
    // Reversed keeps it.
    dockItem("notes.tmp", apps("notes.desktop"));
    ASSERT_TRUE(QFile::rename(launchers("notes.tmp"), launchers("notes.dockitem")));
    const QByteArray notesBytes = readFile(launchers("notes.dockitem"));

    run = pierline({"apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_NE(plankPid(), firstPid);
    QStringList showing = shown();
    ASSERT_EQ(showing.size(), 4) << showing.join(" ").toStdString();
    EXPECT_EQ(showing.mid(0, 2), QStringList({apps("mail.desktop"), apps("editor.desktop")}));
    EXPECT_TRUE(QFileInfo(showing[2]).fileName().startsWith("pierline-")) << showing[2].toStdString();
    EXPECT_EQ(showing[3], apps("notes.desktop"));

    // Read back: the same apps, the folder, the file and the link.
    run = pierline({"dock", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject dock = QJsonDocument::fromJson(run.out.toUtf8()).object();
    const QJsonArray readApps = dock["apps"].toArray();
    ASSERT_EQ(readApps.size(), 3);
    EXPECT_EQ(QUrl(readApps[1].toString()).toLocalFile(), apps("editor.desktop"));
    const QJsonArray items = dock["items"].toArray();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]["tileType"].toString(), "directory-tile");
    EXPECT_EQ(QUrl(items[0]["tileData"]["fileData"]["CFURLString"].toString()).toLocalFile(),
              path("user/Reports 2024/"));
    EXPECT_EQ(items[1]["tileType"].toString(), "file-tile");
    EXPECT_EQ(QUrl(items[1]["tileData"]["fileData"]["CFURLString"].toString()).toLocalFile(), path("user/plan #1.txt"));
    // Fully encoded, as every other reader writes them.
    EXPECT_EQ(items[0]["tileData"]["fileData"]["CFURLString"].toString(),
              QUrl::fromLocalFile(path("user/Reports 2024/")).toString(QUrl::FullyEncoded));
    EXPECT_TRUE(items[1]["tileData"]["fileData"]["CFURLString"].toString().endsWith("/plan%20%231.txt"));
    EXPECT_EQ(items[2]["tileType"].toString(), "url-tile");
    EXPECT_EQ(items[2]["tileData"]["url"]["CFURLString"].toString(), "https://example.org/a%20b");
    EXPECT_EQ(items[2]["tileData"]["label"].toString(), "Site");

    // The new order holds, and the items Work had leave with it; the user's files stay as they were.
    run = pierline({"apply", "Reversed"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList reversed{apps("editor.desktop"), apps("mail.desktop"), apps("viewer.desktop"),
                               apps("notes.desktop")};
    EXPECT_EQ(shown(), reversed);
    QStringList files = QDir(launchers()).entryList(QDir::Files);
    EXPECT_EQ(files.filter("pierline-").size(), 3) << files.join(" ").toStdString();
    EXPECT_EQ(files.size(), 5) << files.join(" ").toStdString();
    EXPECT_FALSE(files.contains("mail.dockitem")); // replaced by our own item for the same app
    EXPECT_FALSE(files.contains("viewer.dockitem"));
    EXPECT_EQ(readFile(launchers("notes.dockitem")), notesBytes);
    EXPECT_EQ(readFile(launchers("broken.dockitem")), "not a key file\n");

    // Plank started again by anyone shows the same.
    stopPlank();
    startPlank();
    EXPECT_EQ(shown(), reversed);
}

TEST_F(Plank, ACustomSpacerShowsAsItsIconAndReadsBackAsTheSpacer) {
    // A spacer bundle as `spacer create` makes it, as far as the dock looks: its icon file.
    const QString bundle = path("home/Library/Application Support/Pierline/CustomSpaces/Work Left.app");
    const QByteArray png = icns::solidColourPng(64, 0x3366ccffu);
    writeFile(bundle + "/Contents/Info.plist",
              "<plist version=\"1.0\"><dict><key>CFBundleExecutable</key><string>stub</string>"
              "<key>CFBundleIconFile</key><string>AppIcon</string></dict></plist>");
    writeFile(bundle + "/Contents/MacOS/stub", "#!/bin/sh\n");
    QFile::setPermissions(bundle + "/Contents/MacOS/stub", QFile::ReadOwner | QFile::ExeOwner);
    writeFile(bundle + "/Contents/Resources/AppIcon.icns",
              icns::write({{"icp4", icns::solidColourPng(16, 0x3366ccffu)}, {"ic12", png}}));
    const QString spacer = QUrl::fromLocalFile(bundle + "/").toString(QUrl::FullyEncoded);
    const QByteArray entries = QJsonDocument(QJsonArray{QUrl::fromLocalFile(apps("mail.desktop")).toString(), spacer,
                                                        QUrl::fromLocalFile(apps("editor.desktop")).toString()})
                                   .toJson(QJsonDocument::Compact);
    writeFile(path("backup.json"), QJsonDocument(QJsonArray{QJsonObject{{"name", "Work"},
                                                                        {"createdAt", "2025-03-01T09:15:00Z"},
                                                                        {"apps", QString::fromUtf8(entries)},
                                                                        {"folderStacks", QJsonArray()}}})
                                       .toJson());
    CliRun run = pierline({"import", path("backup.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    startPlank();

    run = pierline({"apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList showing = shown();
    ASSERT_EQ(showing.size(), 3) << showing.join(" ").toStdString();
    EXPECT_EQ(showing[0], apps("mail.desktop"));
    EXPECT_EQ(showing[2], apps("editor.desktop"));
    const QString launcher = showing[1];
    EXPECT_EQ(QFileInfo(launcher).path(), path("data/pierline/plank-spacers"));
    EXPECT_TRUE(QFileInfo(launcher).fileName().startsWith("pierline-"));
    const QString text = QString::fromUtf8(readFile(launcher));
    const QString icon = launcher.chopped(8) + ".png";
    for (const QString& line : {QString("Type=Application"), QString("Name=Work Left"), QString("Exec=true"),
                                "Icon=" + icon, QString("NoDisplay=true"), "X-Pierline-Spacer=" + spacer})
        EXPECT_TRUE(text.split('\n').contains(line)) << line.toStdString() << "\n" << text.toStdString();
    EXPECT_EQ(readFile(icon), png); // the largest image, as it is

    // Reading the dock gives the spacer back, so a saved layout keeps it.
    run = pierline({"dock", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonArray read = QJsonDocument::fromJson(run.out.toUtf8()).object()["apps"].toArray();
    ASSERT_EQ(read.size(), 3);
    EXPECT_EQ(read[1].toString(), spacer);
    ASSERT_EQ(pierline({"preset", "create", "Saved", "--from-dock"}).exitCode, 0);
    run = pierline({"preset", "show", "Saved", "--json"});
    EXPECT_TRUE(run.out.contains("CustomSpaces")) << run.out.toStdString();

    // A preset without it takes its launcher away; a spacer whose bundle is gone is skipped.
    ASSERT_EQ(pierline({"preset", "create", "Plain"}).exitCode, 0);
    ASSERT_EQ(pierline({"apply", "Plain", "--yes"}).exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(launcher));
    EXPECT_FALSE(QFileInfo::exists(icon));
    ASSERT_TRUE(QDir(bundle).removeRecursively());
    run = pierline({"apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Skipping " + spacer + ": the spacer app is missing")) << run.err.toStdString();
    EXPECT_EQ(shown(), QStringList({apps("mail.desktop"), apps("editor.desktop")}));
}

TEST_F(Plank, WithoutPlankTheLayoutWaitsForItsNextStartAndAPlankThatDoesNotComeBackIsAnError) {
    ASSERT_EQ(pierline({"settings", "set", "dockTarget", "plank"}).exitCode, 0);
    EXPECT_EQ(pierline({"settings", "set", "plankDock", "../dock1"}).exitCode, 2);
    const CliRun check = pierline({"target", "check"});
    EXPECT_EQ(check.exitCode, 0) << check.err.toStdString();
    EXPECT_TRUE(check.out.contains("not running")) << check.out.toStdString();

    dockItem("editor.dockitem", apps("editor.desktop"));
    dockItem("mail.dockitem", apps("mail.desktop"));
    setOrder({"mail.dockitem", "editor.dockitem"});
    ASSERT_EQ(pierline({"preset", "create", "Work", "--from-dock"}).exitCode, 0);
    setOrder({"editor.dockitem", "mail.dockitem"});
    CliRun run = pierline({"apply", "Work", "-v"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("when it next starts")) << run.err.toStdString();

    // The Plank on the user's PATH is what a restart starts; one that exits at once is reported.
    const QString fakeBin = path("fake-bin");
    writeFile(fakeBin + "/plank", "#!/bin/sh\nexit 1\n");
    QFile::setPermissions(fakeBin + "/plank", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    startPlank(fakeBin);
    EXPECT_EQ(shown(), QStringList({apps("mail.desktop"), apps("editor.desktop")}));
    ASSERT_EQ(pierline({"preset", "create", "Other"}).exitCode, 0);
    run = pierline({"apply", "Other", "--yes"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("Plank does not show 'Other'")) << run.err.toStdString();
}

TEST_F(Plank, APlainPlankIsFoundSwitchedAndStartedAgainPlain) {
    dockItem("mail.dockitem", apps("mail.desktop"));
    dockItem("editor.dockitem", apps("editor.desktop"));
    setOrder({"mail.dockitem", "editor.dockitem"});
    startPlank({}, {});
    ASSERT_TRUE(bus()->isServiceRegistered(kPlainBusName));
    const qint64 firstPid = plankPid();

    const CliRun target = pierline({"target", "--json"});
    EXPECT_EQ(QJsonDocument::fromJson(target.out.toUtf8()).object()["target"].toString(), "plank")
        << target.out.toStdString();
    ASSERT_EQ(pierline({"preset", "create", "Work", "--from-dock"}).exitCode, 0);
    setOrder({"editor.dockitem", "mail.dockitem"});
    ASSERT_EQ(pierline({"preset", "create", "Reversed", "--from-dock"}).exitCode, 0);

    // Written while it runs, a plain Plank would show the old order: the switch stops and restarts it.
    const CliRun run = pierline({"apply", "Work"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_NE(plankPid(), firstPid);
    EXPECT_EQ(shown(), QStringList({apps("mail.desktop"), apps("editor.desktop")}));
    EXPECT_TRUE(bus()->isServiceRegistered(kPlainBusName)) << "started again another way";
}

} // namespace
} // namespace pierline
