// `pierline open` on a sandbox home: in the command-line process, and handed to a real running app.
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

using namespace pierline::test;

namespace {

class OpenCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        ASSERT_EQ(cli({"sandbox", "init"}).exitCode, 0);
        ASSERT_EQ(cli({"preset", "create", "Full", "--from-dock"}).exitCode, 0);
        ASSERT_EQ(cli({"preset", "create", "Empty"}).exitCode, 0);
        ASSERT_EQ(cli({"settings", "set", "useDockutil", "false"}).exitCode, 0);
    }
    void TearDown() override { stopPierline(app_.get(), env_); }
    CliRun cli(const QStringList& args, const QMap<QString, QString>& extra = {}) const {
        QMap<QString, QString> env = env_;
        env.insert(extra);
        return runPierline(args, env);
    }
    void run() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        if (!waitForRunningApp(*app_, env_))
            FAIL() << "the app did not come up";
    }
    int dockApps() const {
        return QJsonDocument::fromJson(cli({"dock", "--json"}).out.toUtf8()).object().value("apps").toArray().size();
    }
    bool waitForDockApps(int count) const {
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            if (dockApps() == count)
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    QString idOf(const QString& name) const {
        return QJsonDocument::fromJson(cli({"preset", "show", name, "--json"}).out.toUtf8())
            .object()
            .value("idString")
            .toString();
    }

    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
};

TEST_F(OpenCommand, WithoutTheAppSwitchLinksApplyAndWaitAndBadLinksSayWhy) {
    const int full = dockApps();
    ASSERT_GT(full, 0);
    EXPECT_EQ(cli({"open"}).exitCode, 2);

    const CliRun empty = cli({"open", "pierline://switch?name=Empty"});
    EXPECT_EQ(empty.exitCode, 0) << empty.err.toStdString();
    EXPECT_EQ(dockApps(), 0); // waited for: the Dock has changed when the call returns

    // The guard holds within one call: the second switch comes right after the first.
    const CliRun two = cli({"open", "pierline://switch?id=" + idOf("Full").toLower(), "pierline://switch?name=Empty"});
    EXPECT_EQ(two.exitCode, 1);
    EXPECT_TRUE(two.err.contains(QRegularExpression("Please wait [0-4]\\.[0-9] seconds before switching presets")))
        << two.err.toStdString();
    EXPECT_EQ(dockApps(), full);

    const struct {
        QString link;
        QString text;
    } bad[] = {
        {"pierline://switch?name=Nope", "Preset 'Nope' not found"},
        {"pierline://Switch?name=Empty", "Unknown action: Switch"},
        {"https://example.test/", "Ignoring non-Pierline URL: https://example.test/"},
        {"pierline://import", "Invalid import link format"},
    };
    for (const auto& b : bad) {
        const CliRun r = cli({"open", b.link});
        EXPECT_EQ(r.exitCode, 1) << b.link.toStdString();
        EXPECT_EQ(r.err.trimmed(), b.text) << b.link.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(dockApps(), full);

    // A window needs the app, and the app needs a display.
    const CliRun headless =
        cli({"open", "pierline://open"}, {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}});
    EXPECT_EQ(headless.exitCode, 1);
    EXPECT_EQ(headless.err.trimmed(), "The import wizard needs a display; use `pierline import URL`");
}

TEST_F(OpenCommand, TheRunningAppTakesLinksAnswersRejectionsAtOnceAndGuardsSwitches) {
    run();
    const CliRun empty = cli({"open", "pierline://switch?name=Empty"});
    EXPECT_EQ(empty.exitCode, 0) << empty.err.toStdString();
    ASSERT_TRUE(waitForDockApps(0));
    // Each rejection answers at once; its box is raised afterwards and requests go on past it.
    for (int i = 0; i < 3; ++i) {
        const CliRun bad = cli({"open", "pierline://switch?name=Nope"});
        EXPECT_EQ(bad.exitCode, 1);
        EXPECT_EQ(bad.err.trimmed(), "Preset 'Nope' not found");
    }
    const CliRun status = cli({"status", "--json"});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_EQ(dockApps(), 0);
    EXPECT_EQ(app_->state(), QProcess::Running);
}

TEST_F(OpenCommand, DesktopInstallMakesTheDesktopHandLinksToThisHomeAndUninstallTakesOnlyOurs) {
    EXPECT_EQ(cli({"--version"}).out, "pierline 0.1.0\n");
    const QString data = dir_.filePath("xdg-data");
    const QString config = dir_.filePath("xdg-config");
    const QMap<QString, QString> xdg{{"XDG_DATA_HOME", data}, {"XDG_CONFIG_HOME", config}};
    QDir().mkpath(config);
    const QByteArray others = "[Added Associations]\ntext/plain=editor.desktop;\n\n[Default Applications]\n"
                              "text/html=browser.desktop\n\n[Removed Associations]\nimage/png=viewer.desktop;\n";
    {
        QFile mime(config + "/mimeapps.list");
        ASSERT_TRUE(mime.open(QIODevice::WriteOnly));
        mime.write(others);
    }
    const CliRun first = cli({"desktop", "install"}, xdg);
    ASSERT_EQ(first.exitCode, 0) << first.err.toStdString();
    const CliRun second = cli({"desktop", "install"}, xdg);
    ASSERT_EQ(second.exitCode, 0) << second.err.toStdString();

    const QString handler = readFile(data + "/applications/pierline.desktop");
    const QString home = env_.value("PIERLINE_HOME");
    EXPECT_TRUE(handler.contains("Exec=/usr/bin/env \"PIERLINE_HOME=" + home + "\" \"" PIERLINE_BINARY "\" open %u\n"))
        << handler.toStdString();
    EXPECT_TRUE(handler.contains("MimeType=x-scheme-handler/pierline;\n"));
    const QString mime = readFile(config + "/mimeapps.list");
    EXPECT_EQ(mime, "[Added Associations]\ntext/plain=editor.desktop;\n\n[Default Applications]\n"
                    "text/html=browser.desktop\nx-scheme-handler/pierline=pierline.desktop\n\n"
                    "[Removed Associations]\nimage/png=viewer.desktop;\n");
    EXPECT_EQ(readFile(data + "/dbus-1/services/com.corvane.pierline.service"),
              "[D-BUS Service]\nName=com.corvane.pierline\nExec=/usr/bin/env 'PIERLINE_HOME=" + home + "' '" +
                  PIERLINE_BINARY + "' run\n");

    QProcess gio;
    // The desktop's own opener starts our handler, which switches this home's Dock.
    QProcessEnvironment desktop = environmentWith(xdg);
    desktop.remove("PIERLINE_HOME");
    gio.setProcessEnvironment(desktop);
    gio.start("gio", {"open", "pierline://switch?name=Empty"});
    ASSERT_TRUE(gio.waitForFinished(20000));
    EXPECT_EQ(gio.exitCode(), 0) << gio.readAllStandardError().toStdString();
    EXPECT_TRUE(waitForDockApps(0));

    const CliRun removed = cli({"desktop", "uninstall"}, xdg);
    EXPECT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_FALSE(QFile::exists(data + "/applications/pierline.desktop"));
    EXPECT_FALSE(QFile::exists(data + "/dbus-1/services/com.corvane.pierline.service"));
    EXPECT_EQ(readFile(config + "/mimeapps.list").toUtf8(), others);
    EXPECT_EQ(cli({"desktop", "uninstall"}, xdg).out, "");
    EXPECT_EQ(cli({"desktop", "frobnicate"}, xdg).exitCode, 2);
}

} // namespace
