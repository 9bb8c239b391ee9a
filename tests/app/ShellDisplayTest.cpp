// `pierline run` on an X server of the test's own with the xcb platform: the windows' colours read
// back from the screen as the theme changes, and a restart asked for from the app's own box.
#include "support/EventLoop.h"
#include "support/PierlineCli.h"
#include "support/PrivateDesktop.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <signal.h>

#include "triggers/XTestKeys.h" // X11 after Qt: Xlib defines Status, Bool

#include <X11/Xatom.h>
#include <X11/Xutil.h>

using namespace pierline::test;

namespace {

class ShellDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(x_.ok()) << "Xvfb did not start";
        display_ = XOpenDisplay(x_.display().toLatin1().constData());
        ASSERT_NE(display_, nullptr);
        env_ = privateHomeEnvironment(dir_);
        env_.insert({{"DISPLAY", x_.display()}, {"QT_QPA_PLATFORM", "xcb"}});
        for (const QStringList& args :
             {QStringList{"sandbox", "init"}, QStringList{"preset", "create", "Lean"},
              QStringList{"preset", "add-url", "Lean", "https://lean.example/", "--label", "Lean"},
              QStringList{"settings", "set", "showMainWindowOnLaunch", "false"}}) {
            const CliRun run = cli(args);
            ASSERT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        }
    }
    void TearDown() override {
        stopPierline(app_.get(), env_);
        // A restarted app is no child of ours: ask it to quit and wait for its pid to go.
        if (restartedPid_ > 0) {
            cli({"quit"});
            waitUntil([&] { return !processExists(restartedPid_); }, 10000);
            if (processExists(restartedPid_))
                ::kill(static_cast<pid_t>(restartedPid_), SIGKILL);
        }
        if (display_)
            XCloseDisplay(display_);
    }

    CliRun cli(const QStringList& args) const { return runPierline(args, env_); }
    QJsonObject status() const { return QJsonDocument::fromJson(cli({"status", "--json"}).out.toUtf8()).object(); }
    void startApp() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        ASSERT_TRUE(waitForRunningApp(*app_, env_)) << app_->readAllStandardOutput().toStdString();
    }
    static bool processExists(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0; }

    // The shown top-level window titled `title`; 0 when there is none.
    Window shownWindow(const QString& title) const {
        const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        const pierline::test::IgnoreWindowErrors closing(display_);
        if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count))
            return 0;
        for (unsigned int i = 0; i < count && !found; ++i) {
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display_, children[i], netName, 0, 256, False, utf8, &type, &format, &items, &after,
                                   &data) != Success)
                continue;
            const QString name = data ? QString::fromUtf8(reinterpret_cast<const char*>(data), int(items)) : QString();
            if (data)
                XFree(data);
            XWindowAttributes attributes{};
            if (name == title && XGetWindowAttributes(display_, children[i], &attributes) &&
                attributes.map_state == IsViewable)
                found = children[i];
        }
        if (children)
            XFree(children);
        return found;
    }
    Window focusedShownWindow() const { return pierline::test::focusedShownWindow(display_); }
    // The colour on screen just inside the window's top-left corner, in the layout's margin: the
    // window's own background. "#RRGGBB".
    std::optional<QString> backgroundOf(const QString& title) const {
        const Window window = shownWindow(title);
        if (!window)
            return std::nullopt;
        const pierline::test::IgnoreWindowErrors closing(display_);
        XImage* image = XGetImage(display_, window, 2, 2, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return std::nullopt;
        const unsigned long pixel = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return QStringLiteral("#%1").arg(pixel & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
    }
    // The light background the theme `id` names, as the screen shows it.
    QString themeBackground(const QString& id) const {
        const QJsonObject current = QJsonDocument::fromJson(cli({"theme", "current", "--json"}).out.toUtf8()).object();
        EXPECT_EQ(current.value("id").toString(), id);
        const QJsonObject colour = current.value("light_mode").toObject().value("backgroundColor").toObject();
        QString hex = QStringLiteral("#");
        for (const char* channel : {"red", "green", "blue"})
            hex += QStringLiteral("%1").arg(qRound(colour.value(channel).toDouble() * 255), 2, 16, QLatin1Char('0'));
        return hex.toUpper();
    }
    // Waits, bounded in real time, for the window to show `colour`.
    void expectBackground(const QString& title, const QString& colour) const {
        QString shown = QStringLiteral("nothing");
        EXPECT_TRUE(waitUntil(
            [&] {
                const std::optional<QString> now = backgroundOf(title);
                shown = now.value_or(QStringLiteral("nothing"));
                return now.has_value() && *now == colour;
            },
            20000))
            << title.toStdString() << " shows " << shown.toStdString() << ", not " << colour.toStdString();
    }

    QTemporaryDir dir_;
    PrivateXServer x_;
    Display* display_ = nullptr;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
    qint64 restartedPid_ = 0;
};

TEST_F(ShellDisplay, OpenWindowsRepaintInTheThemeTheRunningAppSwitchesTo) {
    startApp();
    const QString standard = themeBackground("pierline-default");
    ASSERT_EQ(cli({"window", "open", "main"}).exitCode, 0);
    ASSERT_EQ(cli({"window", "open", "import"}).exitCode, 0);
    expectBackground("Pierline", standard);

    const CliRun switched = cli({"theme", "switch", "pierline-ocean"});
    ASSERT_EQ(switched.exitCode, 0) << switched.err.toStdString();
    const QString ocean = themeBackground("pierline-ocean");
    ASSERT_NE(ocean, standard);
    expectBackground("Pierline", ocean);
    expectBackground("Import Preset", ocean);
    // A window opened later starts in the theme.
    ASSERT_EQ(cli({"window", "open", "settings"}).exitCode, 0);
    expectBackground("Pierline Settings", ocean);

    ASSERT_EQ(cli({"theme", "switch", "pierline-default"}).exitCode, 0);
    expectBackground("Pierline Settings", standard);
}

TEST_F(ShellDisplay, RestartFromTheDatabaseBoxBringsUpANewAppOnTheSameHome) {
    // The store is put aside and a folder takes its place, so the app starts behind its box.
    const QString store = dir_.filePath("home/Library/Application Support/Pierline/Pierline.sqlite");
    ASSERT_EQ(cli({"settings", "set", "contextSettleSeconds", "1.5"}).exitCode, 0);
    for (const char* suffix : {"", "-wal", "-shm"})
        if (QFile::exists(store + suffix)) {
            ASSERT_TRUE(QFile::rename(store + suffix, dir_.filePath(QStringLiteral("aside%1").arg(suffix))));
        }
    ASSERT_TRUE(QDir().mkpath(store));
    // The test reads the first app's output through a pipe and stops once that app ends: the
    // restarted app, which writes to the same pipe, must live on.
    startApp();
    const qint64 oldPid = app_->processId();
    ASSERT_TRUE(waitUntil([&] {
        for (const QJsonValue& window : status().value("windows").toArray())
            if (window.toObject().value("title").toString() == "Database Error")
                return true;
        return false;
    }));
    // The disk is put right while the box is open; the new app must find it.
    ASSERT_TRUE(QDir(store).removeRecursively());
    for (const char* suffix : {"", "-wal", "-shm"})
        if (QFile::exists(dir_.filePath(QStringLiteral("aside%1").arg(suffix)))) {
            ASSERT_TRUE(QFile::rename(dir_.filePath(QStringLiteral("aside%1").arg(suffix)), store + suffix));
        }

    // OK has the focus; Tab moves it to Restart App.
    ASSERT_TRUE(waitUntil([&] { return focusedShownWindow() != 0; }, 20000)) << "the box never took the keyboard";
    type(display_, chord({}, XK_Tab) + chord({}, XK_space));
    ASSERT_TRUE(app_->waitForFinished(20000)) << "the old app did not end";
    EXPECT_EQ(app_->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app_->exitCode(), 0);

    QJsonObject now;
    ASSERT_TRUE(waitUntil([&] { return (now = status()).value("running").toBool(); }, 20000));
    restartedPid_ = now.value("pid").toInteger();
    EXPECT_NE(restartedPid_, oldPid);
    EXPECT_TRUE(processExists(restartedPid_));
    EXPECT_FALSE(processExists(oldPid));
    EXPECT_EQ(now.value("home").toString(), env_.value("PIERLINE_HOME"));
    // The new app holds the one lock: a third one finds it and leaves.
    const CliRun another = cli({"run"});
    EXPECT_EQ(another.exitCode, 0);
    EXPECT_TRUE(another.out.contains(QStringLiteral("Pierline is already running (pid %1)").arg(restartedPid_)))
        << another.out.toStdString() << another.err.toStdString();
    // Nothing was lost: the presets, their items and the settings are there, and the new app
    // has no box of its own.
    EXPECT_TRUE(cli({"preset", "show", "Lean"}).out.contains("lean.example"));
    EXPECT_EQ(cli({"settings", "get", "contextSettleSeconds"}).out.trimmed(), "1.5");
    for (const QJsonValue& window : now.value("windows").toArray())
        EXPECT_NE(window.toObject().value("name").toString(), "alert");
}

} // namespace
