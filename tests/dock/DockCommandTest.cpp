#include "DockFixtures.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace pierline::test;
using namespace pierline::test::dock;

namespace {

struct PierlineRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the real `pierline` binary against the test's home, with the tools folder of the test run.
PierlineRun runPierline(const QStringList& args, const QString& toolsDir = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!toolsDir.isEmpty())
        env.insert("PIERLINE_TOOLS_DIR", toolsDir);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(PIERLINE_BINARY), args);
    PierlineRun run;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "pierline did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

class DockCommand : public ::testing::Test {
protected:
    void SetUp() override {
        writeDockDomain(
            home_,
            xmlPlist(domain({appTile("file:///Applications/Safari.app/"), spacerTile(),
                             appTile("file:///Applications/Visual%20Studio%20Code.app/"), smallSpacerTile()},
                            {folderTile("file:///Users/me/Downloads/", qint64(0), "1", qint64(2)),
                             fileTile("file:///Users/me/todo.txt", "todo.txt"),
                             urlTile("https://example.com/", "Example"), QVariantMap{{"tile-type", "recents-tile"}}})));
    }
    TempHome home_;
};

} // namespace

TEST_F(DockCommand, PrintsOneLinePerTile) {
    const PierlineRun run = runPierline({"dock"});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(QString::fromUtf8(run.out).split('\n'),
              (QStringList{"app  Safari", "spacer  Spacer", "app  Visual Studio Code", "small-spacer  Small Spacer",
                           "folder  file:///Users/me/Downloads/  label=Downloads  displayAs=stack showAs=fan "
                           "arrangement=date added",
                           "file  file:///Users/me/todo.txt  label=todo.txt",
                           "url  https://example.com/  label=Example", "recents-tile", ""}));
}

TEST_F(DockCommand, JsonHoldsAppsAndItemsWithCodingKeys) {
    const PierlineRun run = runPierline({"dock", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out, &error); // stdout holds nothing else
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.constData();
    const QJsonObject answer = document.object();
    EXPECT_EQ(answer.keys(), (QStringList{"apps", "items"}));
    EXPECT_EQ(answer.value("apps").toArray().toVariantList(),
              (QVariantList{"file:///Applications/Safari.app/", "pierline-spacer-1",
                            "file:///Applications/Visual%20Studio%20Code.app/", "pierline-small-spacer-1"}));
    const QJsonArray items = answer.value("items").toArray();
    ASSERT_EQ(items.size(), 4);
    const QJsonObject folder = items[0].toObject().value("tileData").toObject();
    EXPECT_EQ(folder.value("showAs").toString(), "fan");
    EXPECT_EQ(folder.value("fileData").toObject().value("CFURLString").toString(), "file:///Users/me/Downloads/");
    EXPECT_EQ(folder.value("fileData").toObject().value("CFURLStringType").toInt(), 15);
    EXPECT_FALSE(folder.contains("url")); // absent values are left out, not null
    EXPECT_FALSE(folder.contains("label"));
    EXPECT_EQ(items[2].toObject().value("tileData").toObject().value("url").toObject().value("CFURLString").toString(),
              "https://example.com/");
    EXPECT_EQ(items[3].toObject().value("tileType").toString(), "recents-tile");
}

TEST_F(DockCommand, UnreadableDockFailsWithTheReadersText) {
    QTemporaryDir emptyTools;
    const PierlineRun run = runPierline({"dock", "--json"}, emptyTools.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
    EXPECT_TRUE(run.err.startsWith("Command failed: Failed to launch " + emptyTools.path().toUtf8() + "/defaults"))
        << run.err.constData();
}

TEST_F(DockCommand, UsageErrors) {
    EXPECT_EQ(runPierline({"dock", "--yaml"}).exitCode, 2);
    EXPECT_EQ(runPierline({"dock", "extra"}).exitCode, 2);
    const PierlineRun help = runPierline({"dock", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: pierline dock [--json]"));
}
