// `pierline run` as a process (offscreen widgets, no tray): what `status` says of its shell, its
// menus and windows through `menu` and `window`, a store it cannot open, and bad input.
#include "support/EventLoop.h"
#include "support/PierlineCli.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pierline::test;

namespace {

const QString kLeanLink = QStringLiteral("https://lean.example/");

class ShellApp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        for (const QStringList& args : {QStringList{"sandbox", "init"}, QStringList{"preset", "create", "Lean"},
                                        QStringList{"preset", "add-url", "Lean", kLeanLink, "--label", "Lean"},
                                        QStringList{"shortcut", "set", "Lean", "cmd+opt+one"}}) {
            const CliRun run = cli(args);
            ASSERT_EQ(run.exitCode, 0) << args.join(' ').toStdString() << ": " << run.err.toStdString();
        }
    }
    void TearDown() override { stopPierline(app_.get(), env_); }

    CliRun cli(const QStringList& args) const { return runPierline(args, env_); }
    QJsonObject status() const { return QJsonDocument::fromJson(cli({"status", "--json"}).out.toUtf8()).object(); }
    static QJsonObject window(const QJsonObject& status, const QString& name) {
        for (const QJsonValue& value : status.value("windows").toArray())
            if (value.toObject().value("name").toString() == name)
                return value.toObject();
        return {};
    }

    void startApp() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        ASSERT_TRUE(waitForRunningApp(*app_, env_)) << app_->readAllStandardOutput().toStdString();
    }

    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
};

TEST_F(ShellApp, StatusDescribesTheShellAndFailsWithoutAnApp) {
    const CliRun none = cli({"status", "--json"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_FALSE(QJsonDocument::fromJson(none.out.toUtf8()).object().value("running").toBool());

    startApp();
    // The item's autosave name comes half a second after the item.
    ASSERT_TRUE(waitUntil([&] {
        return status().value("statusItem").toObject().value("autosaveName").toString() == "PierlineStatusItem";
    }));
    const QJsonObject s = status();
    EXPECT_EQ(s.value("appMode").toString(), "menuBarOnly");
    EXPECT_EQ(s.value("activationPolicy").toString(), "accessory");
    const QJsonObject item = s.value("statusItem").toObject();
    EXPECT_TRUE(item.value("visible").toBool());
    EXPECT_EQ(item.value("host").toString(), "none");
    EXPECT_EQ(item.value("image").toString(), "logo-no-bg");
    EXPECT_FALSE(s.value("scopeIndicator").toObject().value("visible").toBool());
    EXPECT_EQ(window(s, "main").value("title").toString(), "Pierline");
    EXPECT_TRUE(window(s, "main").value("visible").toBool());
    EXPECT_EQ(cli({"status"}).exitCode, 0);
}

TEST_F(ShellApp, MenusAreListedWithOrWithoutAnAppAndAPresetIsChosenFromThem) {
    const CliRun offline = cli({"menu"});
    ASSERT_EQ(offline.exitCode, 0) << offline.err.toStdString();
    EXPECT_TRUE(offline.out.startsWith("Show App\n---\nPierline Presets\n---\n")) << offline.out.toStdString();
    EXPECT_TRUE(offline.out.contains("Lean  ⌘⌥1\n"));
    EXPECT_TRUE(offline.out.endsWith("---\nRelocate Locked Dock\nCheck for Updates\nSettings\nQuit\n"));
    EXPECT_EQ(cli({"menu", "activate", "Lean"}).exitCode, 1);

    startApp();
    const CliRun live = cli({"menu", "--json"});
    ASSERT_EQ(live.exitCode, 0) << live.err.toStdString();
    QString leanId;
    for (const QJsonValue& value : QJsonDocument::fromJson(live.out.toUtf8()).array()) {
        const QJsonObject entry = value.toObject();
        if (entry.value("title").toString() == "Lean") {
            leanId = entry.value("presetId").toString();
            EXPECT_EQ(entry.value("shortcut").toString(), "⌘⌥1");
            EXPECT_FALSE(entry.contains("keyEquivalent"));
        }
        if (entry.value("title").toString() == "Quit") {
            EXPECT_EQ(entry.value("keyEquivalent").toString(), "q");
        }
    }
    ASSERT_FALSE(leanId.isEmpty()) << live.out.toStdString();
    EXPECT_TRUE(cli({"menu", "--dock"}).out.contains("Lean  ⌘⌥1"));

    ASSERT_FALSE(cli({"dock", "--json"}).out.contains(kLeanLink));
    const CliRun chose = cli({"menu", "activate", "--preset", leanId});
    EXPECT_EQ(chose.exitCode, 0) << chose.err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return cli({"dock", "--json"}).out.contains(kLeanLink); }, 20000));
}

TEST_F(ShellApp, WindowsOpenAndCloseByName) {
    EXPECT_EQ(cli({"window", "open", "settings"}).exitCode, 1); // no app
    cli({"settings", "set", "showMainWindowOnLaunch", "false"});
    startApp();
    EXPECT_TRUE(window(status(), "main").isEmpty());
    const CliRun opened = cli({"window", "open", "settings"});
    EXPECT_EQ(opened.exitCode, 0) << opened.err.toStdString();
    EXPECT_EQ(window(status(), "settings").value("title").toString(), "Pierline Settings");
    EXPECT_EQ(cli({"window", "close", "settings"}).exitCode, 0);
    EXPECT_TRUE(waitUntil([&] { return window(status(), "settings").isEmpty(); }));
    ASSERT_EQ(cli({"window", "open", "main"}).exitCode, 0);
    ASSERT_EQ(cli({"window", "close", "main"}).exitCode, 0);
    // The main window is kept, hidden; closing it never ends the app.
    const QJsonObject s = status();
    EXPECT_TRUE(s.value("running").toBool());
    EXPECT_FALSE(window(s, "main").value("visible").toBool(true));
    EXPECT_EQ(window(s, "main").value("title").toString(), "Pierline");
    ASSERT_EQ(cli({"window", "open", "import"}).exitCode, 0);
    EXPECT_EQ(window(status(), "importWizard").value("title").toString(), "Import Preset");
}

TEST_F(ShellApp, BadNamesFailNamingThemAndUsageErrorsExitTwo) {
    startApp();
    struct Case {
        QStringList args;
        int exitCode;
        const char* named;
    };
    const QString json = dir_.filePath("bad.json");
    QFile file(json);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("{\"exception\": ");
    file.close();
    const std::vector<Case> cases = {
        {{"menu", "activate", "Nope"}, 1, "Nope"},
        {{"menu", "activate", "--preset", "0B0E6F6C-0000-4000-8000-000000000000"},
         1,
         "0B0E6F6C-0000-4000-8000-000000000000"},
        {{"menu", "activate", "Pierline Presets"}, 1, "Pierline Presets"},
        {{"window", "open", "nope"}, 1, "nope"},
        {{"window", "close", "settings"}, 1, "settings"},
        {{"crash-report", "filter", json}, 1, "bad.json"},
        {{"menu", "activate"}, 2, ""},
        {{"menu", "activate", "Lean", "--preset", "x"}, 2, ""},
        {{"menu", "sideways"}, 2, ""},
        {{"window", "open"}, 2, ""},
        {{"crash-report"}, 2, ""},
    };
    const QString dockBefore = cli({"dock", "--json"}).out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.named))) << run.err.toStdString();
    }
    EXPECT_EQ(cli({"dock", "--json"}).out, dockBefore);
    EXPECT_TRUE(status().value("running").toBool());
}

TEST_F(ShellApp, AStoreThatCannotBeOpenedKeepsTheAppUpBehindItsDatabaseErrorBox) {
    // A folder where the store file belongs.
    const QString store = dir_.filePath("home/Library/Application Support/Pierline/Pierline.sqlite");
    ASSERT_TRUE(QDir(store).removeRecursively() || !QFileInfo::exists(store));
    QFile::remove(store);
    QFile::remove(store + "-wal");
    QFile::remove(store + "-shm");
    ASSERT_TRUE(QDir().mkpath(store));
    startApp();
    // The box is open and the app goes on answering.
    ASSERT_TRUE(waitUntil([&] { return window(status(), "alert").value("title").toString() == "Database Error"; }));
    const CliRun menu = cli({"menu"});
    EXPECT_EQ(menu.exitCode, 0);
    EXPECT_FALSE(menu.out.contains("Lean"));
    EXPECT_EQ(cli({"window", "open", "main"}).exitCode, 1);
    // Quitting closes the box as OK and ends the app cleanly.
    EXPECT_EQ(cli({"quit"}).exitCode, 0);
    ASSERT_TRUE(app_->waitForFinished(20000));
    EXPECT_EQ(app_->exitCode(), 0);
    EXPECT_TRUE(app_->readAllStandardOutput().contains("[Pierline] Quit"));
}

} // namespace
