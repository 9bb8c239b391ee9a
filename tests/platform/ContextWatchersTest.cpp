// The context watchers' Linux backends in this process, on sources of the test's own: an Xvfb
// whose root properties the test sets, GSettings on the keyfile backend, and a notification
// server stand-in (python3-dbusmock) on a private session bus.
#include "platform/ContextWatchers.h"

#include "support/EventLoop.h"
#include "support/GSettingsTool.h"
#include "support/PrivateDesktop.h"
#include "support/ScopedEnv.h"

#include <QDBusVariant>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Xlib's macros clash with Qt's headers: X headers come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace pierline {
namespace {

TEST(WorkspaceWatcher, FollowsTheRootWindowsCurrentDesktopAndItsName) {
    test::PrivateXServer x;
    ASSERT_TRUE(x.ok());
    // The one X connection is the process's: this suite's first use of it is here.
    const test::ScopedEnv display("DISPLAY", x.display().toUtf8());
    Display* client = XOpenDisplay(x.display().toLatin1().constData());
    ASSERT_TRUE(client);
    const Window root = DefaultRootWindow(client);
    const auto setCurrent = [&](long index) {
        XChangeProperty(client, root, XInternAtom(client, "_NET_CURRENT_DESKTOP", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&index), 1);
        XSync(client, False);
    };
    const auto setNames = [&](const QByteArray& names) {
        XChangeProperty(client, root, XInternAtom(client, "_NET_DESKTOP_NAMES", False),
                        XInternAtom(client, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(names.constData()), static_cast<int>(names.size()));
        XSync(client, False);
    };

    auto watcher = createWorkspaceWatcher();
    int changes = 0;
    ASSERT_EQ(watcher->start([&] { ++changes; }), std::nullopt);
    EXPECT_FALSE(watcher->current()) << "no window manager has published a desktop yet";

    setCurrent(1);
    ASSERT_TRUE(test::waitUntil([&] { return changes == 1; }));
    EXPECT_EQ(watcher->current()->index, 1);
    EXPECT_EQ(watcher->current()->name, "");

    // Names are NUL-separated; the last one may lack its NUL.
    setNames(QByteArray("Main\0Code\0Chat", 14));
    ASSERT_TRUE(test::waitUntil([&] { return changes == 2; }));
    EXPECT_EQ(watcher->current()->name, "Code");
    setCurrent(2);
    ASSERT_TRUE(test::waitUntil([&] { return changes == 3; }));
    EXPECT_EQ(watcher->current()->name, "Chat");

    // Other root properties, and a write of the same value, are no change.
    XChangeProperty(client, root, XInternAtom(client, "_PIERLINE_OTHER", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&root), 1);
    setCurrent(2);
    setCurrent(0);
    ASSERT_TRUE(test::waitUntil([&] { return changes == 4; }));
    EXPECT_EQ(watcher->current()->index, 0);
    EXPECT_EQ(watcher->current()->name, "Main");

    // A value no window manager would write is no workspace.
    XChangeProperty(client, root, XInternAtom(client, "_NET_CURRENT_DESKTOP", False), XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>("x"), 1);
    XSync(client, False);
    ASSERT_TRUE(test::waitUntil([&] { return changes == 5; }));
    EXPECT_FALSE(watcher->current());
    XCloseDisplay(client);
}

TEST(WorkspaceWatcher, OnWaylandItSaysWhyItCannotWatch) {
    // isWaylandSession() reads the session type once per process; a fresh process sees it.
    if (qEnvironmentVariable("PIERLINE_TEST_CHILD") != QLatin1String("wayland")) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PIERLINE_TEST_CHILD", "wayland");
        env.insert("XDG_SESSION_TYPE", "wayland");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=WorkspaceWatcher.OnWaylandItSaysWhyItCannotWatch"});
        ASSERT_TRUE(child.waitForFinished(30000));
        EXPECT_EQ(child.exitCode(), 0) << child.readAllStandardOutput().toStdString();
        return;
    }
    qputenv("XDG_SESSION_TYPE", "wayland"); // the test main clears it
    EXPECT_EQ(createWorkspaceWatcher()->start([] {}),
              QStringLiteral("a Wayland session: workspaces cannot be read from outside the shell"));
}

class DoNotDisturb : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ASSERT_TRUE(bus_.ok());
    }
    QMap<QString, QString> gsettingsEnv() const {
        return {{"GSETTINGS_BACKEND", "keyfile"}, {"XDG_CONFIG_HOME", config_.path()}};
    }

    // One for the suite: the process keeps the settings backend it opened first.
    static inline QTemporaryDir config_;
    const test::ScopedEnv backend_{"GSETTINGS_BACKEND", QByteArray("keyfile")};
    const test::ScopedEnv configHome_{"XDG_CONFIG_HOME", config_.path().toUtf8()};
    // Stands in for the session bus: this suite's first session-bus use is in these cases.
    test::PrivateBus bus_;
    const test::ScopedEnv session_{"DBUS_SESSION_BUS_ADDRESS", bus_.address().toUtf8()};
};

TEST_F(DoNotDisturb, OnGnomeItIsTheBannersSettingChangedByAnyProcess) {
    const test::ScopedEnv desktop("XDG_CURRENT_DESKTOP", QByteArray("ubuntu:GNOME"));
    auto watcher = createDoNotDisturbWatcher();
    int changes = 0;
    ASSERT_EQ(watcher->start([&] { ++changes; }), std::nullopt);
    EXPECT_EQ(watcher->current(), false);
    test::runGsettings({"set", "org.gnome.desktop.notifications", "show-banners", "false"}, gsettingsEnv());
    ASSERT_TRUE(test::waitUntil([&] { return changes == 1; }));
    EXPECT_EQ(watcher->current(), true);
    test::runGsettings({"set", "org.gnome.desktop.notifications", "show-banners", "true"}, gsettingsEnv());
    ASSERT_TRUE(test::waitUntil([&] { return changes == 2; }));
    EXPECT_EQ(watcher->current(), false);
}

TEST_F(DoNotDisturb, ElsewhereTheNotificationServersInhibitedPropertyWhenItHasOne) {
    const test::ScopedEnv desktop("XDG_CURRENT_DESKTOP", QByteArray("KDE"));
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
    server.setProcessEnvironment(env);
    server.setStandardOutputFile(QProcess::nullDevice());
    server.start("/usr/bin/python3", {"-m", "dbusmock", "org.freedesktop.Notifications",
                                      "/org/freedesktop/Notifications", "org.freedesktop.Notifications"});
    QDBusConnection control = bus_.connection();
    ASSERT_TRUE(test::waitUntil(
        [&] { return control.interface()->isServiceRegistered("org.freedesktop.Notifications").value(); }, 20000));
    const auto mock = [&](const char* method, const QVariantList& args) {
        QDBusMessage call =
            QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                           "org.freedesktop.DBus.Mock", QString::fromLatin1(method));
        call.setArguments(args);
        const QDBusMessage reply = control.call(call, QDBus::Block, 10000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    };

    // Without the property the desktop's banners setting still tells.
    auto fallback = createDoNotDisturbWatcher();
    ASSERT_EQ(fallback->start([] {}), std::nullopt);
    EXPECT_EQ(fallback->current(), false);

    mock("AddProperty", {"org.freedesktop.Notifications", "Inhibited", QVariant::fromValue(QDBusVariant(false))});
    auto watcher = createDoNotDisturbWatcher();
    int changes = 0;
    ASSERT_EQ(watcher->start([&] { ++changes; }), std::nullopt);
    EXPECT_EQ(watcher->current(), false);
    mock("UpdateProperties", {"org.freedesktop.Notifications", QVariantMap{{"Inhibited", true}}});
    ASSERT_TRUE(test::waitUntil([&] { return changes == 1; }));
    EXPECT_EQ(watcher->current(), true);
    server.terminate();
    server.waitForFinished(5000);
}

} // namespace
} // namespace pierline
