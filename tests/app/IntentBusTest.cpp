// `pierline intent` and `pierline focus` in the command-line process, and the app's intents on the
// private session bus this suite runs under: called on a running app, and activated through the
// service file that `desktop install` writes.
#include "support/PierlineCli.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>

using namespace pierline::test;

namespace {

struct BusCall {
    int exitCode = -1;
    QString out;
    QString err;
};

class Intents : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) << "run under run-under-link-bus";
        env_ = privateHomeEnvironment(dir_);
        ASSERT_EQ(cli({"sandbox", "init"}).exitCode, 0);
        ASSERT_EQ(cli({"preset", "create", "Full", "--from-dock"}).exitCode, 0);
        ASSERT_EQ(cli({"preset", "create", "Empty"}).exitCode, 0);
        ASSERT_EQ(cli({"settings", "set", "useDockutil", "false"}).exitCode, 0);
    }
    void TearDown() override { stopPierline(app_.get(), env_); }
    CliRun cli(const QStringList& args) const { return runPierline(args, env_); }
    void ok(const QStringList& args) const {
        const CliRun r = cli(args);
        EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    void run() {
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        if (!waitForRunningApp(*app_, env_))
            FAIL() << "the app did not come up";
    }
    static BusCall call(const QString& method, const QStringList& args = {}) {
        QProcess gdbus;
        gdbus.start("gdbus",
                    QStringList{"call", "--session", "--dest", "com.corvane.pierline", "--object-path",
                                "/com/corvane/pierline", "--method", "com.corvane.pierline.Intents." + method} +
                        args);
        if (!gdbus.waitForFinished(60000)) {
            gdbus.kill();
            gdbus.waitForFinished();
        }
        return {gdbus.exitCode(), QString::fromUtf8(gdbus.readAllStandardOutput()).trimmed(),
                QString::fromUtf8(gdbus.readAllStandardError()).trimmed()};
    }
    int dockApps() const {
        return QJsonDocument::fromJson(cli({"dock", "--json"}).out.toUtf8()).object().value("apps").toArray().size();
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

TEST_F(Intents, TheCommandLineListsDescribesRunsAndKeepsFocusFilters) {
    const int full = dockApps();
    const QJsonArray list = QJsonDocument::fromJson(cli({"intent", "list", "--json"}).out.toUtf8()).array();
    ASSERT_GE(list.size(), 2);
    QStringList names;
    for (const QJsonValue& row : list) {
        EXPECT_EQ(row.toObject().keys(), (QStringList{"idString", "name"}));
        names << row.toObject().value("name").toString();
    }
    EXPECT_EQ(names.mid(names.size() - 2), (QStringList{"Full", "Empty"}));

    const QString describe = cli({"intent", "describe"}).out;
    for (const char* line :
         {"Entity \"Preset\": shows its name, or \"Unnamed Preset\"",
          "Intent \"List Pierline Presets\": \"List all Pierline presets\"",
          "Intent \"Run Pierline Preset\": preset, \"The Pierline preset to run\"",
          "App Shortcut \"List Presets\" (ListPresetsIntent, symbol default): \"List Pierline Presets\", \"Show my "
          "Pierline Presets\", \"What are my Pierline Presets?\"",
          "App Shortcut \"Run Preset\" (RunPresetIntent, symbol play.circle): \"Run a Pierline Preset\", \"Apply a "
          "Pierline Preset\"",
          "Focus filter \"Configure Pierline\": \"Dock Preset\", \"The Pierline preset to apply when this Focus "
          "becomes active\"",
          "  shows \"Apply '{name}'\" (\"Apply 'Unknown Preset'\" without a preset), \"Pierline will activate this "
          "preset when Focus changes\"",
          "User activity com.corvane.pierline.list-presets: \"List Pierline Presets\" (action=list)",
          "User activity com.corvane.pierline.run-preset: \"Run Pierline Preset\" (action=run)"})
        EXPECT_TRUE(describe.contains(QString::fromUtf8(line) + "\n")) << line << "\n" << describe.toStdString();

    const CliRun ran = cli({"intent", "run", "--name", "Empty"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    EXPECT_EQ(ran.out, "Successfully applied preset 'Empty'!\n");
    EXPECT_EQ(dockApps(), 0);
    const CliRun missing = cli({"intent", "run", "--name", "Nope"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err.trimmed(), "Pierline preset 'Nope' was not found");
    EXPECT_EQ(cli({"intent", "run"}).exitCode, 2);
    EXPECT_EQ(cli({"intent", "continue", "com.corvane.pierline.run-preset", "presetName=Full"}).exitCode, 0);
    EXPECT_EQ(dockApps(), full);

    EXPECT_EQ(cli({"focus", "list"}).out, "No Focus filters\n");
    ok({"focus", "set", "Work", "Empty"});
    ok({"focus", "set", "Sleep", "--none"});
    const CliRun unknown = cli({"focus", "set", "Play", "Nope"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err.trimmed(), "Pierline preset 'Nope' was not found");
    const QJsonArray filters = QJsonDocument::fromJson(cli({"focus", "list", "--json"}).out.toUtf8()).array();
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(filters[0].toObject().value("mode").toString(), "Sleep");
    EXPECT_FALSE(filters[0].toObject().contains("presetId"));
    EXPECT_EQ(filters[1].toObject().value("presetName").toString(), "Empty");
    EXPECT_EQ(filters[1].toObject().value("presetId").toString(), idOf("Empty"));
    EXPECT_EQ(cli({"focus", "list"}).out, "Sleep: Apply 'Unknown Preset'\nWork: Apply 'Empty'\n");

    ok({"focus", "activate", "Sleep"});
    EXPECT_EQ(dockApps(), full);
    ok({"focus", "activate", "Work"});
    EXPECT_EQ(dockApps(), 0);
    ok({"preset", "delete", "Empty"});
    const CliRun gone = cli({"focus", "activate", "Work"});
    EXPECT_EQ(gone.exitCode, 1);
    EXPECT_EQ(gone.err.trimmed(), "Pierline preset 'Empty' was not found");
    EXPECT_EQ(cli({"focus", "activate", "Nope"}).exitCode, 1);
    ok({"focus", "remove", "Sleep"});
    EXPECT_EQ(cli({"focus", "remove", "Sleep"}).exitCode, 1);
}

TEST_F(Intents, TheRunningAppAnswersOnTheBusRunsInTheCooldownAreRefusedFocusIsNot) {
    run();
    ok({"focus", "set", "Work", "Full"});
    ok({"preset", "rename", "Full", "Everything"});

    const BusCall list = call("ListPresets");
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.contains("('" + idOf("Everything") + "', 'Everything')")) << list.out.toStdString();

    const BusCall ran = call("RunPreset", {"", "Empty"});
    EXPECT_EQ(ran.exitCode, 0) << ran.err.toStdString();
    EXPECT_EQ(ran.out, "(\"Successfully applied preset 'Empty'!\",)");
    EXPECT_EQ(dockApps(), 0);

    const BusCall held = call("RunPreset", {idOf("Everything"), "Everything"});
    EXPECT_NE(held.exitCode, 0);
    EXPECT_TRUE(held.err.contains("com.corvane.pierline.Error.ApplyFailed")) << held.err.toStdString();
    EXPECT_EQ(dockApps(), 0);

    // The filter was set before the rename; its entity id still finds the preset, in the cooldown.
    const BusCall focus = call("ActivateFocus", {"Work"});
    EXPECT_EQ(focus.exitCode, 0) << focus.err.toStdString();
    EXPECT_GT(dockApps(), 0);

    const BusCall mode = call("ActivateFocus", {"Nope"});
    EXPECT_TRUE(mode.err.contains("org.freedesktop.DBus.Error.InvalidArgs")) << mode.err.toStdString();
    EXPECT_TRUE(mode.err.contains("Nope"));
    const BusCall missing = call("RunPreset", {"", "Nope"});
    EXPECT_TRUE(missing.err.contains("com.corvane.pierline.Error.PresetNotFound")) << missing.err.toStdString();
    EXPECT_TRUE(missing.err.contains("Pierline preset 'Nope' was not found"));
}

TEST_F(Intents, ACallOnTheNameStartsTheAppThroughTheInstalledServiceFile) {
    ASSERT_EQ(cli({"desktop", "install"}).exitCode, 0);
    const BusCall list = call("ListPresets");
    EXPECT_EQ(list.exitCode, 0) << list.err.toStdString();
    EXPECT_TRUE(list.out.contains("'Empty')")) << list.out.toStdString();
    const QJsonObject status = QJsonDocument::fromJson(cli({"status", "--json"}).out.toUtf8()).object();
    EXPECT_TRUE(status.value("running").toBool());
    ok({"quit"});
    ASSERT_EQ(cli({"desktop", "uninstall"}).exitCode, 0);
}

} // namespace
