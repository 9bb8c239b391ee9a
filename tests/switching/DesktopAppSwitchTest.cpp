// A switch on the GNOME dash (GSettings' keyfile backend in a private home) closes and opens
// desktop-file apps: sample programs started from temporary desktop files, through the binary.
#include "support/EventLoop.h"
#include "support/GSettingsTool.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

namespace pierline {
namespace {

using test::CliRun;

class DesktopAppSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = QFileInfo(dir_.path()).canonicalFilePath();
        env_["PIERLINE_HOME"] = root_ + "/home";
        env_["XDG_DATA_HOME"] = root_ + "/data";
        env_["XDG_DATA_DIRS"] = root_ + "/system"; // no installed desktop file of the machine
        env_["GSETTINGS_SCHEMA_DIR"] = "/usr/share/glib-2.0/schemas";
        env_["XDG_CURRENT_DESKTOP"] = "GNOME";
        env_["HOME"] = root_ + "/user";
        env_["XDG_CONFIG_HOME"] = root_ + "/config";
        env_["GSETTINGS_BACKEND"] = "keyfile";
        env_["PATH"] = root_ + "/bin:" + qEnvironmentVariable("PATH");
        QDir().mkpath(root_ + "/home");
        QDir().mkpath(root_ + "/bin");
    }
    void TearDown() override {
        for (qint64 pid : launched_)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        for (auto& process : started_) {
            process->kill();
            process->waitForFinished(5000);
        }
    }

    // A program of its own name (a copy of sleep) and a desktop file that starts it by name.
    QString sampleApp(const QString& name) {
        EXPECT_TRUE(QFile::copy(QFileInfo("/bin/sleep").canonicalFilePath(), program(name)));
        return desktopFile(name, "Exec=" + name + " 600 %U");
    }
    QString program(const QString& name) const { return root_ + "/bin/" + name; }
    QString desktopFile(const QString& name, const QString& lines) const {
        const QString path = root_ + "/data/applications/" + name + ".desktop";
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[Desktop Entry]\nType=Application\nName=" + name + "\n" + lines + "\n").toUtf8());
        return path;
    }
    QProcess* start(const QString& path, const QStringList& args = {"600"}) {
        started_.push_back(std::make_unique<QProcess>());
        QProcess* process = started_.back().get();
        process->start(path, args);
        EXPECT_TRUE(process->waitForStarted(5000)) << path.toStdString();
        return process;
    }
    CliRun pierline(const QStringList& args) const { return test::runPierline(args, env_); }
    void setDash(const QStringList& ids) const {
        test::runGsettings({"set", "org.gnome.shell", "favorite-apps", test::gvariantStringList(ids)}, env_);
    }
    // The processes of ours that run `path`.
    QList<qint64> runningProgram(const QString& path) const {
        QList<qint64> pids;
        for (const QString& entry : QDir("/proc").entryList(QDir::Dirs))
            if (QFile::symLinkTarget("/proc/" + entry + "/exe") == path)
                pids.append(entry.toLongLong());
        return pids;
    }

    QTemporaryDir dir_;
    QString root_;
    QMap<QString, QString> env_;
    std::vector<std::unique_ptr<QProcess>> started_;
    QList<qint64> launched_;
};

TEST_F(DesktopAppSwitch, ClosesSampleAppsThePresetLacksOpensItsActionAppAndSparesTheRest) {
    const QString kept = sampleApp("pl-kept");
    const QString excluded = sampleApp("pl-excluded");
    const QString opened = sampleApp("pl-opened");
    sampleApp("pl-closed");
    sampleApp("plank");                                                                // named as the session's dock
    QFile::copy(QFileInfo("/bin/sleep").canonicalFilePath(), program("pl-bystander")); // no desktop file
    // Script apps stay the interpreter's process; `read` waits on the open stdin with no child.
    // The IDE notes the project it is given.
    for (const QString name : {"pl-script", "pl-ide"}) {
        QFile script(program(name + ".sh"));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\necho \"$@\" >> " + root_ + "/" + name + ".log\nread line\n").toUtf8());
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    desktopFile("pl-script", "Exec=" + program("pl-script.sh"));
    const QString ide = desktopFile("pl-ide", "Exec=pl-ide.sh %F");
    // This test runs the command: a desktop file of our own program must not get us closed.
    desktopFile("pl-runner", "Exec=" + QCoreApplication::applicationFilePath());

    QProcess* keptApp = start(program("pl-kept"));
    QProcess* excludedApp = start(program("pl-excluded"));
    QProcess* closedApp = start(program("pl-closed"));
    QProcess* sessionDock = start(program("plank"));
    QProcess* bystander = start(program("pl-bystander"));
    QProcess* scriptApp = start(program("pl-script.sh"), {});
    QProcess* oldIde = start(program("pl-ide.sh"), {});

    setDash({"pl-kept.desktop", "pl-opened.desktop", "pl-ide.desktop"});
    CliRun run = pierline({"preset", "create", "Work", "--from-dock"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = pierline({"preset", "action", "set", "Work", "file://" + opened, "--open-app"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = pierline({"preset", "action", "set", "Work", "file://" + ide, "--ide", root_ + "/home"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(pierline({"settings", "set", "closeOtherApps", "true"}).exitCode, 0);
    run = pierline({"settings", "set", "excludedApps", "[\"" + excluded + "\"]"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    setDash({});

    run = pierline({"apply", "Work", "-v"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Closing app: pl-closed")) << run.err.toStdString();

    // The apply waited for the closing: what it closed has ended, the rest never got a signal.
    EXPECT_TRUE(closedApp->waitForFinished(5000));
    EXPECT_TRUE(scriptApp->waitForFinished(5000));
    for (QProcess* spared : {keptApp, excludedApp, sessionDock, bystander})
        EXPECT_EQ(spared->state(), QProcess::Running) << spared->program().toStdString();
    EXPECT_EQ(closedApp->exitStatus(), QProcess::CrashExit); // SIGTERM
    // The IDE action closed the running IDE and started it again with the project.
    EXPECT_TRUE(oldIde->waitForFinished(5000));
    ASSERT_TRUE(test::waitUntil([&] { return test::readFile(root_ + "/pl-ide.log").size() > 1; }));
    EXPECT_EQ(test::readFile(root_ + "/pl-ide.log"), "\n" + root_ + "/home\n");

    // The open-app action started its desktop file's program; a second switch leaves that one be.
    ASSERT_TRUE(test::waitUntil([&] { return !runningProgram(program("pl-opened")).isEmpty(); }));
    launched_ = runningProgram(program("pl-opened"));
    ASSERT_EQ(launched_.size(), 1);
    run = pierline({"apply", "Work", "--bypass-cooldown"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(runningProgram(program("pl-opened")), launched_);
    EXPECT_EQ(keptApp->state(), QProcess::Running);
}

} // namespace
} // namespace pierline
