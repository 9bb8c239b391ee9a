// `pierline run` with the hotkey confirmation on, its real message box on the test display
// answered with keys typed through XTest: the box closing never ends the app.
#include "support/EventLoop.h"
#include "support/PierlineCli.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "triggers/XTestKeys.h" // X11 after Qt: Xlib defines Status, Bool

using namespace pierline::test;

namespace {

const QString kLeanLink = QStringLiteral("https://lean.example/");

class ConfirmationBox : public ::testing::Test {
protected:
    void SetUp() override {
        display_ = XOpenDisplay(nullptr);
        ASSERT_NE(display_, nullptr) << "these tests need an X display; run them under xvfb-run";
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        // The box goes to the test display, not to the offscreen platform the suites use.
        env_.insert("QT_QPA_PLATFORM", "xcb");
        for (const QStringList& args : {QStringList{"sandbox", "init"}, QStringList{"preset", "create", "Lean"},
                                        QStringList{"preset", "add-url", "Lean", kLeanLink, "--label", "Lean"},
                                        QStringList{"settings", "set", "askBeforeSwitchingPresetsWithHotkeys", "true"},
                                        // The main window would take the focus the box hands back.
                                        QStringList{"settings", "set", "showMainWindowOnLaunch", "false"},
                                        QStringList{"shortcut", "set", "Lean", "ctrl+shift+f9"}}) {
            const CliRun run = cli(args);
            ASSERT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        }
    }
    void TearDown() override {
        stopPierline(app_.get(), env_);
        if (display_)
            XCloseDisplay(display_);
    }

    CliRun cli(const QStringList& args) const { return runPierline(args, env_); }

    bool appAnswers() const {
        return QJsonDocument::fromJson(cli({"status", "--json"}).out.toUtf8()).object().value("running").toBool();
    }

    void startApp() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        // The shortcut manager grabs its keys after the app answers: wait for the grab too.
        if (waitUntil(
                [&] {
                    return app_->state() != QProcess::Running ||
                           (appAnswers() && keyGrabbedElsewhere(display_, XK_F9, ControlMask | ShiftMask));
                },
                20000) &&
            app_->state() == QProcess::Running)
            return;
        FAIL() << "the app did not come up: " << app_->readAllStandardOutput().toStdString();
    }

    Window focusedShownWindow() const { return pierline::test::focusedShownWindow(display_); }

    // Presses the shortcut and waits, bounded in real time, for the box to take the keyboard.
    bool pressShortcutAndWaitForTheBox() {
        type(display_, chord({XK_Control_L, XK_Shift_L}, XK_F9));
        return waitUntil([&] { return focusedShownWindow() != 0; }, 20000);
    }

    bool waitForTheBoxToClose() const {
        return waitUntil([&] { return focusedShownWindow() == 0; }, 20000);
    }

    bool dockShowsLean() const { return cli({"dock", "--json"}).out.contains(kLeanLink); }

    bool waitForLean() const {
        return waitUntil([&] { return dockShowsLean(); }, 20000);
    }

    Display* display_ = nullptr;
    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
};

TEST_F(ConfirmationBox, EveryAnswerLeavesTheAppRunningAndOnlySwitchSwitches) {
    startApp();
    struct Answer {
        const char* name;
        Keys keys;
    };
    // Switch has the focus; Tab moves it to Cancel.
    const std::vector<Answer> declined = {{"escape", chord({}, XK_Escape)},
                                          {"cancel", chord({}, XK_Tab) + chord({}, XK_space)}};
    for (const Answer& answer : declined) {
        SCOPED_TRACE(answer.name);
        ASSERT_TRUE(pressShortcutAndWaitForTheBox()) << app_->readAllStandardOutput().toStdString();
        type(display_, answer.keys);
        ASSERT_TRUE(waitForTheBoxToClose());
        EXPECT_TRUE(appAnswers());
        EXPECT_EQ(app_->state(), QProcess::Running);
        EXPECT_FALSE(dockShowsLean());
    }

    ASSERT_TRUE(pressShortcutAndWaitForTheBox());
    type(display_, chord({}, XK_Return));
    ASSERT_TRUE(waitForTheBoxToClose());
    EXPECT_TRUE(waitForLean());
    EXPECT_TRUE(appAnswers());
    ASSERT_EQ(app_->state(), QProcess::Running);

    // The command the desktop's keybinding runs (Wayland) asks the same way.
    const QString lean = QJsonDocument::fromJson(cli({"preset", "show", "Lean", "--json"}).out.toUtf8())
                             .object()
                             .value("idString")
                             .toString();
    cli({"apply", "Default", "--bypass-cooldown"});
    ASSERT_FALSE(dockShowsLean());
    ASSERT_EQ(cli({"shortcut", "press", "--id", lean}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return focusedShownWindow() != 0; }, 20000));
    type(display_, chord({}, XK_Escape));
    ASSERT_TRUE(waitForTheBoxToClose());
    EXPECT_FALSE(dockShowsLean());

    // Nothing but the request below has asked it to quit.
    EXPECT_FALSE(app_->readAllStandardOutput().contains("[Pierline] Quit"));
    cli({"quit"});
    EXPECT_TRUE(app_->waitForFinished(20000));
}

} // namespace
