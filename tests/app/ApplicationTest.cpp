// The application object: its parts come up in order and go down in reverse, whatever fails on
// the way.
#include "support/PierlineCli.h"

#include "app/Application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>
#include <sys/stat.h>

using namespace pierline;
using namespace pierline::test;

namespace {

class ApplicationParts : public ::testing::Test {
protected:
    // A part that records its start and stop; `startCode` ends the start-up, `stopOk` false fails its stop.
    Application::Part part(const QString& name, std::optional<int> startCode = std::nullopt, bool stopOk = true) {
        return {name,
                [this, name, startCode] {
                    events_.append("start " + name);
                    return startCode;
                },
                [this, name, stopOk] {
                    events_.append("stop " + name);
                    return stopOk;
                }};
    }
    // The last part: quits the loop as soon as it runs.
    Application::Part quitter() {
        return {QStringLiteral("quitter"),
                [this]() -> std::optional<int> {
                    QTimer::singleShot(0, [this] {
                        events_.append("loop");
                        QCoreApplication::exit(0);
                    });
                    return std::nullopt;
                },
                {}};
    }

    QStringList events_;
};

TEST_F(ApplicationParts, ComeUpInOrderAndGoDownInReverse) {
    Application app({part("instance"), part("store"), part("hotkeys"), quitter()});
    EXPECT_EQ(app.exec(), 0);
    EXPECT_EQ(events_, QStringList({"start instance", "start store", "start hotkeys", "loop", "stop hotkeys",
                                    "stop store", "stop instance"}));
}

TEST_F(ApplicationParts, AFailedStartTakesDownWhatIsUpAndNeverRunsTheLoop) {
    struct Case {
        const char* name;
        Application::Part failing;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"a part that fails", part("store", 1), 1},
        {"a part that throws",
         {QStringLiteral("store"),
          [this]() -> std::optional<int> {
              events_.append("start store");
              throw std::runtime_error("disk on fire");
          },
          {}},
         1},
        // Another app holds the home: not a failure, but nothing more starts.
        {"a part that ends the start-up", part("store", 0), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events_.clear();
        Application app({part("instance"), c.failing, part("hotkeys"), quitter()});
        EXPECT_EQ(app.exec(), c.exitCode);
        EXPECT_EQ(events_, QStringList({"start instance", "start store", "stop instance"}));
    }
}

TEST_F(ApplicationParts, AFailedStopFailsTheExitButTheOtherPartsStillGoDown) {
    Application app({part("instance"), part("store", std::nullopt, false), part("hotkeys"), quitter()});
    EXPECT_EQ(app.exec(), 1);
    EXPECT_EQ(events_, QStringList({"start instance", "start store", "start hotkeys", "loop", "stop hotkeys",
                                    "stop store", "stop instance"}));
}

TEST(ApplicationStartUp, AHeadlessRunWithHotkeysSaysOnceThatTheyNeedADisplay) {
    const QString note = "Hotkeys are set but there is no display to grab them on";
    for (const bool withShortcut : {false, true}) {
        SCOPED_TRACE(withShortcut);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        QMap<QString, QString> env = privateHomeEnvironment(dir);
        env.insert("DISPLAY", QString());
        env.insert("WAYLAND_DISPLAY", QString());
        env.insert("QT_QPA_PLATFORM", QString()); // the suite's offscreen platform counts as a display
        ASSERT_EQ(runPierline({"preset", "create", "Work"}, env).exitCode, 0);
        if (withShortcut) {
            ASSERT_EQ(runPierline({"shortcut", "set", "Work", "cmd+1"}, env).exitCode, 0);
        }
        auto app = startPierline({"run"}, env);
        ASSERT_TRUE(app->waitForStarted());
        ASSERT_TRUE(waitForRunningApp(*app, env));
        EXPECT_EQ(runPierline({"quit"}, env).exitCode, 0);
        const CliRun ended = finishPierline(*app);
        EXPECT_EQ((ended.out + ended.err).count(note), withShortcut ? 1 : 0) << ended.out.toStdString();
    }
}

} // namespace
