// The command table decides where each command line runs while an app runs on the home: what it
// declares is checked against what the commands do to a real home, and the app refuses what the
// table refuses even when a request reaches its socket.
#include "support/PierlineCli.h"

#include "app/Cli.h"
#include "app/instance/InstanceClient.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <sys/stat.h>

using namespace pierline;
using namespace pierline::cli;
using namespace pierline::test;

namespace {

TEST(CommandTable, EveryEntryDeclaresItsRouteAndNothingThatChangesRunsInTheCaller) {
    QSet<QString> names;
    for (const Command& command : commands()) {
        SCOPED_TRACE(command.name.toStdString());
        EXPECT_FALSE(names.contains(command.name));
        names.insert(command.name);
        ASSERT_FALSE(command.routes.isEmpty());
        EXPECT_TRUE(command.routes.first().subcommand.isEmpty()) << "the first entry is the bare command's";
        QSet<QString> subs;
        for (const RouteEntry& entry : command.routes) {
            SCOPED_TRACE(entry.subcommand.toStdString());
            const QString key = entry.option.isEmpty() ? entry.subcommand : "--" + entry.option;
            EXPECT_FALSE(subs.contains(key)) << "declared twice";
            subs.insert(key);
            if (entry.effect == Effect::Changes) {
                EXPECT_NE(entry.route, Route::Caller) << "a change made beside the running app bypasses it";
            }
        }
    }
}

TEST(CommandTable, CommandLinesFindTheirEntry) {
    const QList<std::pair<QStringList, Route>> cases = {
        {{"apply", "Work"}, Route::App},
        {{"-v", "apply", "--id", "X"}, Route::App},
        {{"settings", "set", "useDockutil", "false"}, Route::App},
        {{"settings", "--json", "get", "useDockutil"}, Route::Caller},
        {{"settings"}, Route::Caller},
        {{"preset", "create", "A"}, Route::App},
        {{"preset", "show", "create"}, Route::Caller}, // a preset named like a subcommand
        {{"preset", "create", "--help"}, Route::Caller},
        {{"preset", "action", "set", "A", "Safari"}, Route::App},
        {{"preset", "no-such-thing"}, Route::Caller}, // answered with its usage here
        {{"hotkey", "debug"}, Route::App},
        {{"status"}, Route::App},
        {{"sandbox", "init", "--force"}, Route::RefusedWhileAppRuns},
        {{"sandbox"}, Route::RefusedWhileAppRuns},
        {{"import", "backup.json"}, Route::App},
        {{"import", "backup.json", "--name", "0=preview", "--preview"}, Route::Caller},
        {{"import", "preview"}, Route::App}, // a file named like the option
        {{"open", "pierline://switch?name=A"}, Route::App},
        {{"intent", "run", "--name", "A"}, Route::App},
        {{"intent", "list"}, Route::Caller},
        {{"focus", "activate", "Work"}, Route::App},
        {{"focus", "list", "--json"}, Route::Caller},
        {{"theme", "switch", "pierline-ocean"}, Route::App},
        {{"theme", "list", "--json"}, Route::App},
        {{"theme", "check", "list"}, Route::Caller}, // a file named like a subcommand
        {{"no-such-command", "set"}, Route::Caller},
        {{}, Route::Caller},
    };
    for (const auto& [args, route] : cases)
        EXPECT_EQ(routeFor(args), route) << args.join(' ').toStdString();
}

// Every file under `root` with its content hash.
QMap<QString, QByteArray> snapshot(const QString& root) {
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // Diagnostics, not state.
        if (path.startsWith(root + "/Library/Logs/"))
            continue;
        QFile file(path);
        QByteArray hash = "unreadable";
        if (file.open(QIODevice::ReadOnly))
            hash = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        files.insert(QDir(root).relativeFilePath(path), hash);
    }
    return files;
}

// The files added, removed or changed between two snapshots.
QStringList changedFiles(const QMap<QString, QByteArray>& before, const QMap<QString, QByteArray>& after) {
    QStringList changed;
    for (auto it = after.begin(); it != after.end(); ++it) {
        if (before.value(it.key()) != it.value())
            changed.append(it.key());
    }
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            changed.append(it.key() + " (removed)");
    }
    return changed;
}

// What the table says reads must leave the home as it was: one command line per such entry.
TEST(CommandTable, WhatRunsInTheCallerLeavesTheHomeAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QMap<QString, QList<QStringList>> samples = {
        {"dock", {{"dock", "--json"}, {"dock"}}},
        {"presets", {{"presets", "--json"}}},
        {"preset",
         {{"preset"},
          {"preset", "show", "Default", "--json"},
          {"preset", "show", "Default", "--rows", "--filter", "folders"},
          {"preset", "preview"},
          {"preset", "preview", "--json"}}},
        {"settings", {{"settings", "--json"}, {"settings", "get", "useDockutil"}}},
        {"note", {{"note"}, {"note", "show", "Safari"}}},
        {"hotkey", {{"hotkey"}, {"hotkey", "show"}}},
        {"target", {{"target"}, {"target", "check"}}},
        {"key", {{"key"}, {"key", "describe", "cmd+a"}, {"key", "record"}}},
        {"shortcut", {{"shortcut"}, {"shortcut", "show"}}},
        {"metadata", {{"metadata", "file://" + dir.filePath("home/Applications/Docs.app/")}}},
        {"export", {{"export", dir.filePath("all.json")}, {"export", dir.filePath("one.json"), "--single", "Default"}}},
        {"import", {{"import", dir.filePath("all.json"), "--preview", "--json"}}},
        {"crash-report", {{"crash-report", "filter", dir.filePath("event.json")}}},
        {"desktop", {{"desktop"}}}, // install writes the user's XDG folders, never the home
        {"intent", {{"intent"}, {"intent", "list", "--json"}, {"intent", "describe"}}},
        {"focus", {{"focus"}, {"focus", "list", "--json"}}},
        {"rule", {{"rule"}, {"rule", "list", "--json"}}},
        {"theme", {{"theme"}, {"theme", "check", dir.filePath("theme.json")}}},
        {"share", {{"share"}, {"share", "upload", "No such preset"}}},
        {"icons", {{"icons", "Default", "--out", dir.filePath("icons.zip")}}},
        {"spacer",
         {{"spacer"},
          {"spacer", "list"},
          {"spacer", "show", "None"},
          {"spacer", "render", "--text", "A", "--out", dir.filePath("a.png")},
          {"spacer", "check-name", "A"}}},
    };
    QFile event(dir.filePath("event.json"));
    ASSERT_TRUE(event.open(QIODevice::WriteOnly));
    event.write(R"({"exception": {"values": [{"type": "App Hanging"}]}})");
    event.close();
    const QString home = dir.filePath("home");
    // No display: `key record` answers at once instead of waiting for keys.
    const QMap<QString, QString> env{{"PIERLINE_HOME", home}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
    ASSERT_EQ(runPierline({"sandbox", "init"}, env).exitCode, 0);
    // The first uses make the store with its default preset, and write the settings' first-load values.
    ASSERT_EQ(runPierline({"presets"}, env).exitCode, 0);
    ASSERT_EQ(runPierline({"settings"}, env).exitCode, 0);

    for (const Command& command : commands()) {
        // `run` is the app itself.
        if (command.name == QLatin1String("run"))
            continue;
        for (const RouteEntry& entry : command.routes) {
            if (entry.route != Route::Caller || entry.effect == Effect::ChangesOwnFiles)
                continue;
            const QString key = command.name + (entry.subcommand.isEmpty() ? QString() : ' ' + entry.subcommand);
            SCOPED_TRACE(key.toStdString());
            bool sampled = false;
            for (const QStringList& args : samples.value(command.name)) {
                const RouteEntry* found = routeEntryFor(args);
                if (found != &entry)
                    continue;
                sampled = true;
                const QMap<QString, QByteArray> before = snapshot(home);
                runPierline(args, env);
                EXPECT_EQ(changedFiles(before, snapshot(home)).join(", ").toStdString(), "")
                    << args.join(' ').toStdString();
            }
            EXPECT_TRUE(sampled) << "give this entry a sample command line";
        }
    }
}

// A running app on a sandbox home with a private runtime folder.
class AppRefusals : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        ASSERT_EQ(runPierline({"sandbox", "init"}, env_).exitCode, 0);
        ASSERT_EQ(runPierline({"preset", "create", "Kept"}, env_).exitCode, 0);
        app_ = startPierline({"run"}, env_);
        ASSERT_TRUE(app_->waitForStarted());
        if (const auto status = waitForRunningApp(*app_, env_)) {
            socket_ = status->value("socket").toString();
            return;
        }
        FAIL() << "the app did not come up: " << app_->readAllStandardOutput().toStdString();
    }
    void TearDown() override { stopPierline(app_.get(), env_); }

    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::unique_ptr<QProcess> app_;
    QString socket_;
};

TEST_F(AppRefusals, TheAppRefusesFromItsSocketWhatTheCallerRefuses) {
    const CliRun fromCaller = runPierline({"sandbox", "init", "--force"}, env_);
    for (const QStringList& args : {QStringList{"sandbox", "init", "--force"}, QStringList{"-v", "sandbox", "init"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const auto answer = InstanceClient::send(socket_, CommandRequest{args, dir_.path(), false}, 20000);
        ASSERT_TRUE(std::holds_alternative<CommandReply>(answer));
        const CommandReply& reply = std::get<CommandReply>(answer);
        EXPECT_EQ(reply.exitCode, fromCaller.exitCode);
        EXPECT_EQ(QString::fromUtf8(reply.standardError), fromCaller.err);
        EXPECT_TRUE(reply.standardOutput.isEmpty());
    }
    EXPECT_EQ(fromCaller.exitCode, 1);
    EXPECT_EQ(fromCaller.err.trimmed(), kRefusedWhileAppRuns);
    // The home and its store are the app's as before.
    EXPECT_TRUE(runPierline({"presets"}, env_).out.contains("Kept"));
    EXPECT_EQ(app_->state(), QProcess::Running);
}

} // namespace
