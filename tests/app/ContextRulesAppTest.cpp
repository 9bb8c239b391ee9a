// The running app switching the sandbox Dock by context, on real sources of the test's own: an
// Xvfb (root properties for workspaces, RandR monitors for displays), GSettings on the keyfile
// backend (Do Not Disturb) and NetworkManager's stand-in on a private system bus.
#include "support/EventLoop.h"
#include "support/GSettingsTool.h"
#include "support/PierlineCli.h"
#include "support/PrivateDesktop.h"
#include "support/ScopedEnv.h"

#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Xlib's macros clash with Qt's headers: X headers come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace pierline {
namespace {

using test::CliRun;

// Sets the root window's workspace properties as a window manager does.
class RootProperties {
public:
    explicit RootProperties(const QString& display) : display_(XOpenDisplay(display.toLatin1().constData())) {}
    ~RootProperties() {
        if (display_)
            XCloseDisplay(display_);
    }
    bool ok() const { return display_ != nullptr; }

    void setNames(const QStringList& names) {
        QByteArray bytes;
        for (const QString& name : names)
            bytes += name.toUtf8() + '\0';
        XChangeProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_DESKTOP_NAMES", False),
                        XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<int>(bytes.size()));
        XSync(display_, False);
    }
    void setCurrent(long index) {
        XChangeProperty(display_, DefaultRootWindow(display_), XInternAtom(display_, "_NET_CURRENT_DESKTOP", False),
                        XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&index), 1);
        XSync(display_, False);
    }

private:
    Display* display_;
};

class ContextRulesApp : public ::testing::Test {
protected:
    // A private home on the suite's own X server and system bus, settings in a keyfile.
    void prepareEnvironment() {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(x_.ok()) << "Xvfb did not start";
        ASSERT_TRUE(bus_.ok()) << "dbus-daemon did not start";
        env_ = test::privateHomeEnvironment(dir_);
        env_.insert({{"DISPLAY", x_.display()},
                     {"QT_QPA_PLATFORM", "xcb"},
                     {"DBUS_SYSTEM_BUS_ADDRESS", bus_.address()},
                     {"GSETTINGS_BACKEND", "keyfile"},
                     {"XDG_CONFIG_HOME", dir_.filePath("config")}});
    }
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(prepareEnvironment());
        ASSERT_EQ(cli({"sandbox", "init"}).exitCode, 0);
        for (const char* name : {"Mail", "Code", "Quiet", "Big", "Office"})
            ASSERT_EQ(cli({"preset", "create", name, "--from-dock"}).exitCode, 0);
        ASSERT_EQ(cli({"settings", "set", "contextSettleSeconds", "0"}).exitCode, 0);
    }
    void TearDown() override { test::stopPierline(app_.get(), env_); }

    CliRun cli(const QStringList& args) const { return test::runPierline(args, env_); }
    void rule(const QStringList& args) {
        const CliRun run = cli(QStringList{"rule", "add"} + args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    }
    void runApp() {
        app_ = test::startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        ASSERT_TRUE(test::waitForRunningApp(*app_, env_))
            << app_->readAllStandardOutput().toStdString() << app_->readAllStandardError().toStdString();
    }

    QString lastApplied() const {
        const test::ScopedEnv home("PIERLINE_HOME", env_.value("PIERLINE_HOME").toUtf8());
        return UserDefaults(QStringLiteral("com.corvane.pierline"))
            .string(QStringLiteral("Pierline.lastAppliedPresetName"))
            .value_or(QString());
    }
    int dockRestarts() const {
        QFile log(env_.value("PIERLINE_HOME") + "/Library/Logs/Dock.log");
        return log.open(QIODevice::ReadOnly) ? static_cast<int>(log.readAll().count('\n')) : 0;
    }
    // Waits, bounded in real time, for the app's switch; one more Dock restart per switch.
    void expectSwitchTo(const QString& name, int restarts) {
        EXPECT_TRUE(test::waitUntil([&] { return lastApplied() == name && dockRestarts() >= restarts; }, 20000))
            << "expected " << name.toStdString() << ", the last applied is " << lastApplied().toStdString();
        EXPECT_EQ(dockRestarts(), restarts) << "a change switched more than once";
    }
    QJsonObject check() const {
        return QJsonDocument::fromJson(cli({"rule", "check", "--json"}).out.toUtf8()).object();
    }

    QTemporaryDir dir_;
    test::PrivateXServer x_;
    test::PrivateBus bus_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
};

TEST_F(ContextRulesApp, EachSourceSwitchesTheDockOncePerChange) {
    test::NetworkManagerStandIn network(bus_);
    ASSERT_TRUE(network.ok()) << network.errors().toStdString();
    RootProperties root(x_.display());
    ASSERT_TRUE(root.ok());
    root.setNames({"Main", "Code", "Chat"});
    root.setCurrent(1);

    rule({"--dnd", "on", "Quiet"});
    rule({"--network", "Office", "Office"});
    rule({"--display", "HDMI-1", "Big"});
    rule({"--workspace", "1", "Code"});
    rule({"--workspace-name", "Chat", "Mail"});

    // Start-up matches the dock to the context.
    int restarts = dockRestarts();
    runApp();
    expectSwitchTo("Code", ++restarts);

    const QJsonObject checked = check();
    for (const QJsonValue& watcher : checked.value("watchers").toArray())
        EXPECT_TRUE(watcher.toObject().value("available").toBool())
            << QJsonDocument(watcher.toObject()).toJson().toStdString();
    EXPECT_EQ(checked.value("context").toObject(), (QJsonObject{{"workspace", 1},
                                                                {"workspaceName", "Code"},
                                                                {"dnd", false},
                                                                {"displays", QJsonArray{"screen"}},
                                                                {"networks", QJsonArray{}}}));
    EXPECT_EQ(checked.value("winner").toObject().value("position").toInt(), 3);

    root.setCurrent(2);
    expectSwitchTo("Mail", ++restarts);

    ASSERT_EQ(x_.xrandr({"--setmonitor", "HDMI-1", "800/200x600/150+1600+0", "none"}), 0);
    expectSwitchTo("Big", ++restarts);

    const QString office = network.connect("Office");
    expectSwitchTo("Office", ++restarts);

    test::runGsettings({"set", "org.gnome.desktop.notifications", "show-banners", "false"}, env_);
    expectSwitchTo("Quiet", ++restarts);
    test::runGsettings({"set", "org.gnome.desktop.notifications", "show-banners", "true"}, env_);
    expectSwitchTo("Office", ++restarts);

    network.disconnect(office);
    expectSwitchTo("Big", ++restarts);
    ASSERT_EQ(x_.xrandr({"--delmonitor", "HDMI-1"}), 0);
    expectSwitchTo("Mail", ++restarts);

    // Turned off, a change switches nothing; the next change once it is back on does, even one
    // that keeps the same rule winning.
    ASSERT_EQ(cli({"settings", "set", "contextRulesEnabled", "false"}).exitCode, 0);
    root.setCurrent(1);
    EXPECT_TRUE(test::waitUntil([&] { return check().value("context").toObject().value("workspace") == 1; }));
    check(); // one more turn of the app's main loop, for the settle timer
    EXPECT_EQ(lastApplied(), "Mail");
    EXPECT_EQ(dockRestarts(), restarts);
    ASSERT_EQ(cli({"settings", "set", "contextRulesEnabled", "true"}).exitCode, 0);
    root.setNames({"Main", "Code 2", "Chat"});
    expectSwitchTo("Code", ++restarts);
}

TEST_F(ContextRulesApp, AMissingSourceIsSaidOnceAndTheOthersKeepWorking) {
    // No NetworkManager on the bus.
    RootProperties root(x_.display());
    ASSERT_TRUE(root.ok());
    root.setCurrent(0);
    rule({"--network", "Office", "Office"});
    rule({"--workspace", "1", "Code"});
    runApp();
    const QJsonArray watchers = check().value("watchers").toArray();
    EXPECT_EQ(lastApplied(), "") << "no rule held at start";
    ASSERT_EQ(watchers.size(), 4);
    EXPECT_EQ(watchers[3].toObject().value("problem").toString(), "NetworkManager is not running on the system bus");
    const int restarts = dockRestarts();
    root.setCurrent(1);
    expectSwitchTo("Code", restarts + 1);
    cli({"quit"});
    ASSERT_TRUE(app_->waitForFinished(20000));
    const QString output = QString::fromUtf8(app_->readAllStandardOutput());
    EXPECT_EQ(output.count("[ContextRules] Not watching network: NetworkManager is not running on the system bus"), 1)
        << output.toStdString();
}

// On a GNOME desktop the rules switch the dash's favourites, read back through `gsettings`.
class ContextRulesGnome : public ContextRulesApp {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(prepareEnvironment());
        env_.insert({{"XDG_CURRENT_DESKTOP", "GNOME"},
                     {"XDG_DATA_HOME", dir_.filePath("data")},
                     {"XDG_DATA_DIRS", dir_.filePath("system") + ":/usr/share"},
                     {"HOME", dir_.filePath("user")}});
        QDir().mkpath(env_.value("PIERLINE_HOME"));
        for (const char* name : {"mail", "code", "chat"}) {
            QFile file(dir_.filePath(QStringLiteral("data/applications/%1.desktop").arg(name)));
            QDir().mkpath(QFileInfo(file).path());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=true\n").arg(name).toUtf8());
        }
        const std::pair<const char*, QStringList> presets[] = {{"Code", {"code.desktop", "mail.desktop"}},
                                                               {"Mail", {"mail.desktop", "chat.desktop"}}};
        for (const auto& [name, favourites] : presets) {
            setDash(favourites);
            const CliRun made = cli({"preset", "create", name, "--from-dock"});
            ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
        }
        ASSERT_EQ(cli({"settings", "set", "contextSettleSeconds", "0"}).exitCode, 0);
        setDash({"chat.desktop"});
    }
    void setDash(const QStringList& ids) const {
        test::runGsettings({"set", "org.gnome.shell", "favorite-apps", test::gvariantStringList(ids)}, env_);
    }
    QStringList dash() const {
        return test::parseGvariantStringList(test::runGsettings({"get", "org.gnome.shell", "favorite-apps"}, env_));
    }
    void expectDash(const QStringList& ids) {
        EXPECT_TRUE(test::waitUntil([&] { return dash() == ids; }, 20000))
            << "the dash holds " << dash().join(' ').toStdString();
    }
};

TEST_F(ContextRulesGnome, AWorkspaceChangeSwitchesTheDashOncePerChange) {
    RootProperties root(x_.display());
    ASSERT_TRUE(root.ok());
    root.setNames({"Main", "Code", "Chat"});
    root.setCurrent(0);
    rule({"--workspace", "1", "Code"});
    rule({"--workspace-name", "Chat", "Mail"});
    runApp();
    EXPECT_EQ(QJsonDocument::fromJson(cli({"target", "--json"}).out.toUtf8()).object().value("target"), "gnome");
    EXPECT_EQ(dash(), QStringList{"chat.desktop"}) << "no rule held at start";

    root.setCurrent(1);
    expectDash({"code.desktop", "mail.desktop"});
    EXPECT_TRUE(test::waitUntil([&] { return lastApplied() == "Code"; }));
    root.setCurrent(2);
    expectDash({"mail.desktop", "chat.desktop"});
    // A workspace no rule names leaves the dash as it is; coming back switches again.
    root.setCurrent(0);
    EXPECT_TRUE(test::waitUntil([&] { return check().value("context").toObject().value("workspace") == 0; }));
    check(); // one more turn of the app's main loop, for the settle timer
    EXPECT_EQ(dash(), (QStringList{"mail.desktop", "chat.desktop"}));
    root.setCurrent(1);
    expectDash({"code.desktop", "mail.desktop"});

    cli({"quit"});
    ASSERT_TRUE(app_->waitForFinished(20000));
    const QString output = QString::fromUtf8(app_->readAllStandardOutput());
    EXPECT_EQ(output.count("Switching to preset ID: "), 3) << output.toStdString();
    EXPECT_EQ(output.count("Current Name: 'Code'"), 2) << output.toStdString();
}

} // namespace
} // namespace pierline
