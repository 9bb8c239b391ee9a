#include "support/DockPlist.h"
#include "support/PierlineCli.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace pierline::test;

namespace {

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
    const CliRun run = runPierline({"dock"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.split('\n'),
              (QStringList{"app  Safari", "spacer  Spacer", "app  Visual Studio Code", "small-spacer  Small Spacer",
                           "folder  file:///Users/me/Downloads/  label=Downloads  displayAs=stack showAs=fan "
                           "arrangement=date added",
                           "file  file:///Users/me/todo.txt  label=todo.txt",
                           "url  https://example.com/  label=Example", "recents-tile", ""}));
}

TEST_F(DockCommand, JsonHoldsAppsAndItemsWithCodingKeys) {
    const CliRun run = runPierline({"dock", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out.toUtf8(), &error); // stdout holds nothing else
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    const QJsonObject answer = document.object();
    EXPECT_EQ(answer.keys(), (QStringList{"apps", "items"}));
    EXPECT_EQ(answer.value("apps").toArray().toVariantList(),
              (QVariantList{"file:///Applications/Safari.app/", "pierline-spacer-1",
                            "file:///Applications/Visual%20Studio%20Code.app/", "pierline-small-spacer-1"}));
    const QJsonArray items = answer.value("items").toArray();
    ASSERT_EQ(items.size(), 4); // each item's coding is checked in DockItemJson
    EXPECT_EQ(items[0].toObject().value("tileData").toObject().value("showAs").toString(), "fan");
    EXPECT_EQ(items[3].toObject().value("tileType").toString(), "recents-tile");
}

TEST_F(DockCommand, UnreadableDockFailsWithTheReadersTextAndUsageErrorsExitTwo) {
    QTemporaryDir emptyTools;
    const CliRun run = runPierline({"dock", "--json"}, {{"PIERLINE_TOOLS_DIR", emptyTools.path()}});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.startsWith("Command failed: Failed to launch " + emptyTools.path() + "/defaults"))
        << run.err.toStdString();

    EXPECT_EQ(runPierline({"dock", "--yaml"}).exitCode, 2);
    const CliRun help = runPierline({"dock", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: pierline dock [--json]"));
}
