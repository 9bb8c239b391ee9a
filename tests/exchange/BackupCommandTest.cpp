#include "support/EventLoop.h"
#include "support/LoopbackHttpServer.h"
#include "support/PierlineCli.h"
#include "support/TempHome.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace pierline::test {
namespace {

QJsonArray presets(const QMap<QString, QString>& env) {
    return QJsonDocument::fromJson(runPierline({"presets", "--json"}, env).out.toUtf8()).array();
}

QJsonObject withoutIdentity(QJsonObject record) {
    record.remove("idString");
    record.remove("order");
    return record;
}

// Runs pierline while this thread's event loop serves the loopback server.
CliRun runServed(const QStringList& args, const QMap<QString, QString>& env) {
    auto process = startPierline(args, env);
    CliRun run;
    if (!waitUntil([&] { return process->state() == QProcess::NotRunning; }, 60000)) {
        ADD_FAILURE() << "pierline did not finish";
        return run;
    }
    run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    run.out = QString::fromUtf8(process->readAllStandardOutput());
    run.err = QString::fromUtf8(process->readAllStandardError());
    return run;
}

TEST(BackupCommands, ExportFromOneSandboxImportsIntoAnotherFromAFileAndALink) {
    QTemporaryDir dir;
    // Named like the default home, a folder "home" that holds no user name.
    const QMap<QString, QString> a{{"PIERLINE_HOME", dir.filePath("a/home")}};
    const QMap<QString, QString> b{{"PIERLINE_HOME", dir.filePath("b/home")}};
    for (const auto& env : {a, b})
        ASSERT_EQ(runPierline({"sandbox", "init"}, env).exitCode, 0);
    ASSERT_EQ(runPierline({"preset", "create", "Work", "--from-dock"}, a).exitCode, 0);
    ASSERT_EQ(runPierline({"note", "set", "--preset", "Work", "Safari", "hello"}, a).exitCode, 0);

    const QString file = dir.filePath("all.json");
    CliRun run = runPierline({"export", file, "--include-folders", "--rename", "Work=Job"}, a);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Selected presets have been exported successfully!\n");
    EXPECT_FALSE(readFile(file).contains("idString"));

    run = runPierline({"import", file}, b);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Presets to import: 2\nTotal apps: 10\nTotal items: 6\n"
                       "Selected presets have been imported successfully!\n");
    const QJsonArray before = presets(a);
    QJsonArray after = presets(b);
    ASSERT_EQ(after.size(), 3);
    EXPECT_EQ(after[2].toObject().value("order"), 2);
    QJsonObject work = withoutIdentity(before[1].toObject());
    work.insert("name", "Job");
    EXPECT_EQ(withoutIdentity(after[1].toObject()), withoutIdentity(before[0].toObject()));
    EXPECT_EQ(withoutIdentity(after[2].toObject()), work);

    // One preset shared through a link, with its notes in force and the web-app metadata.
    const QString single = dir.filePath("one.json");
    run = runPierline({"export", single, "--single", "Work"}, a);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "Your preset has been saved to " + single + " (including Safari Web App metadata)\n");
    LoopbackHttpServer server({200, readFile(single).toUtf8()});
    run = runServed({"import", server.url().toString(), "--preview", "--json"}, b);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject shown = QJsonDocument::fromJson(run.out.toUtf8()).array().at(0).toObject();
    EXPECT_EQ(shown.value("importName"), "Work");
    EXPECT_EQ(shown.value("missingCount"), 0);
    EXPECT_EQ(shown.value("apps").toArray().at(0).toObject().value("status"), "Already Installed");
    EXPECT_EQ(presets(b).size(), 3); // a preview stores nothing
    run = runServed({"import", server.url().toString(), "--name", "0=Shared"}, b);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    after = presets(b);
    ASSERT_EQ(after.size(), 4);
    EXPECT_EQ(after[3].toObject().value("name"), "Shared");
    EXPECT_TRUE(after[3].toObject().value("appNotes").toString().contains("hello"));
}

TEST(BackupCommands, FailuresLeaveNoFileAndStoreNothing) {
    QTemporaryDir dir;
    const QMap<QString, QString> env{{"PIERLINE_HOME", dir.filePath("home")}};
    ASSERT_EQ(runPierline({"sandbox", "init"}, env).exitCode, 0);
    const QString nowhere = dir.filePath("missing/out.json");
    CliRun run = runPierline({"export", nowhere}, env);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("Export Error: ")) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(nowhere));
    EXPECT_EQ(runPierline({"export", dir.filePath("x.json"), "--preset", "Nope"}, env).err,
              "No preset named 'Nope'.\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("x.json")));

    const qsizetype count = presets(env).size();
    const QString bad = dir.filePath("bad.json");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"([{"name":"A","createdAt":"2025-03-01T09:15:00.250Z","apps":"","folderStacks":[]}])");
    f.close();
    run = runPierline({"import", bad}, env);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.startsWith("Failed to load presets: Invalid date")) << run.err.toStdString();
    EXPECT_EQ(presets(env).size(), count);
    EXPECT_EQ(runPierline({"import"}, env).exitCode, 2);
    EXPECT_EQ(runPierline({"import", bad, "--json"}, env).exitCode, 2);
}

} // namespace
} // namespace pierline::test
