// `pierline key record` through the binary on the test display, typed with XTest.
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

#include "XTestKeys.h" // X11 after Qt: Xlib defines Status, Bool

using namespace pierline::test;

namespace {

class KeyRecord : public ::testing::Test {
protected:
    void SetUp() override {
        keyboard_ = XOpenDisplay(nullptr);
        ASSERT_NE(keyboard_, nullptr) << "these tests need an X display; run them under xvfb-run";
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(keyboard_, &event, &error, &major, &minor)) << "no XTest";
    }
    void TearDown() override {
        if (keyboard_)
            XCloseDisplay(keyboard_);
    }

    void type(const Keys& keys) { pierline::test::type(keyboard_, keys); }

    // Starts the recording, types `keys` once it holds the keyboard, and collects the outcome.
    CliRun record(const QStringList& options, const Keys& keys) {
        auto process = startPierline(QStringList{"key", "record"} + options);
        QString err;
        QElapsedTimer waited;
        waited.start();
        while (!err.contains("Press a combination") && process->state() != QProcess::NotRunning &&
               waited.elapsed() < 30000) {
            process->waitForReadyRead(200);
            err += QString::fromUtf8(process->readAllStandardError());
        }
        EXPECT_TRUE(err.contains("Press a combination")) << err.toStdString();
        type(keys);
        CliRun run = finishPierline(*process);
        run.err.prepend(err);
        return run;
    }

    Display* keyboard_ = nullptr;
    TempHome home_;
};

} // namespace

TEST_F(KeyRecord, RecordsWhatWasPressedAsDescribeShowsIt) {
    struct Case {
        const char* name;
        QStringList options;
        Keys keys;
        qint64 keyCode;
        qint64 flags;
        QString display;
    };
    const std::vector<Case> cases = {
        {"command and option with one", {"--json"}, chord({XK_Super_L, XK_Alt_L}, XK_1), 18, 0x180000, "⌘⌥1"},
        {"shift is kept, the keypad's second level names it",
         {"--json"},
         chord({XK_Shift_L}, XK_KP_End),
         83,
         0x20000,
         "⇧1"},
        // Without the option the tap is no combination: the next key is what gets recorded.
        {"a bare option tap needs the option",
         {"--json"},
         Keys{{XK_Alt_L, true}, {XK_Alt_L, false}} + chord({}, XK_a),
         0,
         0,
         "A"},
        {"a bare option tap",
         {"--json", "--allow-modifier-only"},
         Keys{{XK_Alt_L, true}, {XK_Alt_L, false}},
         58,
         0,
         "⌥"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = record(c.options, c.keys);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        const QJsonObject answer = QJsonDocument::fromJson(run.out.toUtf8()).object();
        EXPECT_EQ(answer.value("carbonKeyCode").toInteger(), c.keyCode);
        EXPECT_EQ(answer.value("modifierRawValue").toInteger(), c.flags);
        EXPECT_EQ(answer.value("displayString").toString(), c.display);
        EXPECT_EQ(answer.value("isModifierOnly").toBool(), c.keyCode == 58);
    }
    // The same combination as describe prints it.
    const CliRun recorded = record({"--json"}, chord({XK_Super_L, XK_Alt_L}, XK_1));
    EXPECT_EQ(recorded.out, runPierline({"key", "describe", "cmd+opt+one", "--json"}).out);
}

TEST_F(KeyRecord, EscapeAndMissingKeyboardFailWithAMessage) {
    const CliRun cancelled = record({"--json"}, chord({}, XK_Escape));
    EXPECT_EQ(cancelled.exitCode, 1);
    EXPECT_TRUE(cancelled.out.isEmpty());
    EXPECT_TRUE(cancelled.err.contains("Recording cancelled")) << cancelled.err.toStdString();

    // The keyboard came back: another client can take it now.
    ASSERT_EQ(XGrabKeyboard(keyboard_, DefaultRootWindow(keyboard_), False, GrabModeAsync, GrabModeAsync, CurrentTime),
              GrabSuccess);
    XSync(keyboard_, False);
    const CliRun held = runPierline({"key", "record"});
    XUngrabKeyboard(keyboard_, CurrentTime);
    XSync(keyboard_, False);
    EXPECT_EQ(held.exitCode, 1);
    EXPECT_TRUE(held.err.contains("another program holds the keyboard")) << held.err.toStdString();

    const CliRun noDisplay = runPierline({"key", "record"}, {{"DISPLAY", ":4097"}});
    EXPECT_EQ(noDisplay.exitCode, 1);
    EXPECT_TRUE(noDisplay.err.contains("cannot open the X display")) << noDisplay.err.toStdString();
}
