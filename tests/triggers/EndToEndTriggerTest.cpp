// `pierline run` on a sandbox home switches the Dock when its triggers are typed with XTest on
// the test display: a preset shortcut, a leader sequence, a multi-press and an Option double-tap.
#include "support/PierlineCli.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "XTestKeys.h" // X11 after Qt: Xlib defines Status, Bool

using namespace pierline::test;

namespace {

const QString kLeanLink = QStringLiteral("https://lean.example/");

class EndToEndTrigger : public ::testing::Test {
protected:
    void SetUp() override {
        keyboard_ = XOpenDisplay(nullptr);
        ASSERT_NE(keyboard_, nullptr) << "these tests need an X display; run them under xvfb-run";
    }
    void TearDown() override {
        stopApp();
        if (keyboard_)
            XCloseDisplay(keyboard_);
    }

    // A fresh sandbox home with a second preset, Lean, whose Dock holds one link.
    void makeHome() {
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        env_ = privateHomeEnvironment(*dir_);
        for (const QStringList& args : {QStringList{"sandbox", "init"}, QStringList{"preset", "create", "Lean"},
                                        QStringList{"preset", "add-url", "Lean", kLeanLink, "--label", "Lean"}}) {
            const CliRun run = cli(args);
            ASSERT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        }
    }

    CliRun cli(const QStringList& args) const { return runPierline(args, env_); }

    // Starts `pierline run` and waits, bounded, on the real process until it answers.
    void startApp() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        if (!waitForRunningApp(*app_, env_))
            FAIL() << "the app did not come up: " << app_->readAllStandardOutput().toStdString();
    }

    void stopApp() { stopPierline(app_.get(), env_); }

    void type(const Keys& keys) { pierline::test::type(keyboard_, keys); }

    bool dockShowsLean() const { return cli({"dock", "--json"}).out.contains(kLeanLink); }

    QString leanId() const {
        for (const QJsonValue& preset : QJsonDocument::fromJson(cli({"presets", "--json"}).out.toUtf8()).array())
            if (preset["name"].toString() == QLatin1String("Lean"))
                return preset["idString"].toString();
        return {};
    }

    // Polls the Dock the app writes through real child processes, bounded in real time.
    bool waitForLean() const {
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            if (dockShowsLean())
                return true;
            QThread::msleep(100);
        }
        return false;
    }

    // Action keys are grabbed only once the app has entered scope mode.
    bool waitForScopeMode() const {
        QDeadlineTimer deadline(2000); // well inside the scope timeout
        while (!deadline.hasExpired()) {
            const CliRun debug = cli({"hotkey", "debug"});
            if ((debug.out + debug.err).contains("Is In Scope Mode: true"))
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    Display* keyboard_ = nullptr;
    std::unique_ptr<QTemporaryDir> dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
};

} // namespace

TEST_F(EndToEndTrigger, EachKindOfTriggerSwitchesTheDock) {
    struct Case {
        const char* name;
        QList<QStringList> setUp; // handed to the running app
        Keys keys;
        Keys inScope; // typed once the app is in scope mode, as a person types after the leader
    };
    const std::vector<Case> cases = {
        {"preset shortcut", {{"shortcut", "set", "Lean", "cmd+opt+two"}}, chord({XK_Super_L, XK_Alt_L}, XK_2), {}},
        {"leader sequence",
         {{"hotkey", "leader", "ctrl+opt+space"}, {"hotkey", "set", "Lean", "--sequence", "l"}},
         chord({XK_Control_L, XK_Alt_L}, XK_space),
         chord({}, XK_l)},
        {"triple press",
         {{"hotkey", "set", "Lean", "--multi-press", "ctrl+j", "--count", "3"}},
         chord({XK_Control_L}, XK_j) + chord({XK_Control_L}, XK_j) + chord({XK_Control_L}, XK_j),
         {}},
        {"option double-tap",
         {{"hotkey", "set", "Lean", "--multi-press", "option", "--count", "2"}},
         chord({}, XK_Alt_L) + chord({}, XK_Alt_L),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A home and an app per case: the apply cooldown of one switch must not hold the next.
        makeHome();
        startApp();
        for (const QStringList& args : c.setUp) {
            const CliRun run = cli(args);
            ASSERT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        }
        ASSERT_FALSE(dockShowsLean());
        type(c.keys);
        if (!c.inScope.empty()) {
            ASSERT_TRUE(waitForScopeMode());
            type(c.inScope);
        }
        EXPECT_TRUE(waitForLean()) << app_->readAllStandardOutput().toStdString();
        stopApp();
    }
}

TEST_F(EndToEndTrigger, StoredShortcutsWorkFromLaunchAndOtherKeysSwitchNothing) {
    makeHome();
    // Stored without the app: it reads the table at start.
    ASSERT_EQ(cli({"shortcut", "set", "Lean", "ctrl+shift+f8"}).exitCode, 0);
    startApp();
    // Wrong modifiers, then an option tap that no configuration wants, then the shortcut: one switch.
    type(chord({XK_Control_L}, XK_F8) + chord({}, XK_Alt_L) + chord({}, XK_Alt_L) +
         chord({XK_Control_L, XK_Shift_L}, XK_F8));
    ASSERT_TRUE(waitForLean());
    stopApp();
    const QString log = QString::fromUtf8(app_->readAllStandardOutput());
    EXPECT_EQ(log.count("Switching to preset ID"), 1) << log.toStdString();
}

// What the desktop's keybinding runs on Wayland: handed to the app, it takes the grabbed press's road;
// without the app it says so and applies directly.
TEST_F(EndToEndTrigger, AShortcutPressCommandSwitchesThroughTheAppOrDirectly) {
    makeHome();
    const CliRun direct = cli({"shortcut", "press", "--id", leanId()});
    EXPECT_EQ(direct.exitCode, 0) << direct.err.toStdString();
    EXPECT_TRUE(direct.err.contains("Pierline is not running on this home")) << direct.err.toStdString();
    EXPECT_TRUE(dockShowsLean());

    makeHome();
    startApp();
    const CliRun handed = cli({"shortcut", "press", "--id", leanId()});
    EXPECT_EQ(handed.exitCode, 0) << handed.err.toStdString();
    EXPECT_FALSE(handed.err.contains("not running")) << handed.err.toStdString();
    ASSERT_TRUE(waitForLean());
    const CliRun unknown = cli({"shortcut", "press", "--id", "0F0F0F0F-1111-2222-3333-444455556666"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains("no preset has that id")) << unknown.err.toStdString();
    stopApp();
    const QString log = QString::fromUtf8(app_->readAllStandardOutput());
    EXPECT_EQ(log.count("Switching to preset ID"), 1) << log.toStdString();
}
