#include "WriterFixtures.h"

#include "dock/DefaultsWriter.h"
#include "dock/DockTiles.h"
#include "support/CapturingLogSink.h"
#include "support/DockPlist.h"

#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;
using namespace pierline::test::writers;

TEST(DefaultsTiles, InstalledAppGetsTheFullTileWithFreshGuidsAndSpacersOnlyTheirType) {
    TempHome home;
    const QString entry = dirUrl(home.makeBundle("Applications", "Safari", "com.apple.Safari"));

    const QVariantList tiles = DefaultsWriter::appTiles({entry, "pierline-spacer-1", "pierline-small-spacer-1", entry});
    ASSERT_EQ(tiles.size(), 4);
    const QVariantMap app = tiles.at(0).toMap();
    EXPECT_EQ(app.value("tile-type"), "file-tile");
    EXPECT_EQ(app.value("GUID").typeId(), QMetaType::LongLong);
    EXPECT_EQ(tileData(app), (QVariantMap{{"file-data", fileData(entry)},
                                          {"file-label", "Safari"},
                                          {"file-type", qint64(41)},
                                          {"bundle-identifier", ""},
                                          {"dock-extra", qint64(0)}}));
    EXPECT_EQ(tiles.at(1).toMap(), (QVariantMap{{"tile-type", "spacer-tile"}}));
    EXPECT_EQ(tiles.at(2).toMap(), (QVariantMap{{"tile-type", "small-spacer-tile"}}));

    // Every tile and every apply gets its own GUID.
    const qint64 a = app.value("GUID").toLongLong();
    const qint64 b = tiles.at(3).toMap().value("GUID").toLongLong();
    const qint64 c = DefaultsWriter::appTiles({entry}).at(0).toMap().value("GUID").toLongLong();
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(b, c);
}

TEST(DefaultsTiles, MissingAppIsWrittenWithoutTheExtrasAndAnUnparsableOneSkipped) {
    TempHome home;
    CapturingLogSink log;
    const QVariantList tiles = DefaultsWriter::appTiles(
        {"file:///Applications/Gone%20Away.app/", "file://[broken/A.app", "pierline-spacer-1"});
    ASSERT_EQ(tiles.size(), 2);
    EXPECT_EQ(tiles.at(0).toMap().keys(), (QStringList{"tile-data", "tile-type"}));
    EXPECT_EQ(tileData(tiles.at(0)), (QVariantMap{{"file-data", fileData("file:///Applications/Gone%20Away.app/")},
                                                  {"file-label", "Gone Away"}}));
    EXPECT_TRUE(log.printed("WARNING: App does not exist at path: /Applications/Gone Away.app"));
    EXPECT_TRUE(log.printed("WARNING: Could not create URL from: file://[broken/A.app"));
    EXPECT_TRUE(log.printed("Added spacer at index 2"));

    EXPECT_EQ(appNameFromPath("/Applications/Visual Studio Code.app"), "Visual Studio Code");
    EXPECT_EQ(appNameFromPath("/Applications/Tools.app/Contents/Helper.app/"), "Helper");
    EXPECT_EQ(appNameFromPath("/Applications/Shop.apple.app"), "Shople"); // every ".app" goes
}

TEST(DefaultsTiles, FolderStyleBecomesTheDocksIntegers) {
    struct Case {
        QString showAs, displayAs, sortOrder;
        qint64 showas, displayas, arrangement;
    };
    const QList<Case> cases = {
        {"fan", "stack", "date added", 1, 0, 2},
        {"auto", "folder", "date modified", 0, 1, 3},
        {"list", "stack", "date created", 3, 0, 4},
        {"grid", "folder", "kind", 2, 1, 5},
        {"", "", "", 2, 1, 1},
        {"tiles", "pile", "size", 2, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.showAs + " " + c.displayAs + " " + c.sortOrder).toStdString());
        const QVariantMap data = tileData(
            DockTiles::folderTile("/Users/a/Docs", folder("/Users/a/Docs", c.showAs, c.displayAs, c.sortOrder)));
        EXPECT_EQ(data.value("showas"), c.showas);
        EXPECT_EQ(data.value("displayas"), c.displayas);
        EXPECT_EQ(data.value("arrangement"), c.arrangement);
    }
}

TEST(DefaultsTiles, LocationsAreWrittenAsStoredAndLabelsFallBackToTheLastComponent) {
    DockFolderStackValues withEmptyLabel = folder("file:///Users/a/My%20Docs/");
    withEmptyLabel.label = "";
    DockFolderStackValues labelled = folder("/Users/a/Projects");
    labelled.label = "Code";
    DockFolderStackValues fromUrl = folder("unused");
    fromUrl.path.reset();
    fromUrl.url = "file:///Users/a/Inbox/";

    const QVariantList tiles =
        DefaultsWriter::itemTiles({withEmptyLabel, labelled, fromUrl, fileItem("/Users/a/notes.txt", ""),
                                   fileItem("/Users/a/b.txt", "Bee"), webLink("https://example.com/", "Example")});
    ASSERT_EQ(tiles.size(), 6);
    EXPECT_EQ(tileType(tiles.at(0)), "directory-tile");
    EXPECT_EQ(tileUrl(tiles.at(0)), "file:///Users/a/My%20Docs/");
    EXPECT_EQ(tileData(tiles.at(0)).value("file-label"), "My Docs");
    EXPECT_EQ(tileData(tiles.at(1)).value("file-label"), "Code");
    EXPECT_EQ(tileUrl(tiles.at(2)), "file:///Users/a/Inbox/");
    EXPECT_EQ(tiles.at(3).toMap(), fileTile("/Users/a/notes.txt", "notes.txt"));
    EXPECT_EQ(tileData(tiles.at(4)).value("file-label"), "Bee");
    EXPECT_EQ(tiles.at(5).toMap(), urlTile("https://example.com/", "Example"));
}

TEST(DefaultsTiles, ItemsThatCannotBeTiledAreSkippedWithTheirMessages) {
    CapturingLogSink log;
    DockFolderStackValues noFolderPath = folder("x");
    noFolderPath.path.reset();
    noFolderPath.url.reset();
    DockFolderStackValues noFilePath = fileItem("x");
    noFilePath.path.reset();
    noFilePath.url.reset();
    DockFolderStackValues widget = folder("/w");
    widget.itemType = "widget";

    const QVariantList tiles = DefaultsWriter::itemTiles(
        {noFolderPath, noFilePath, webLink("https://a.example", {}), widget, folder("/Users/a/Kept")});
    EXPECT_EQ(tiles.size(), 1);
    for (const char* line : {"Skipping folder stack with no path", "Skipping file with no path",
                             "Skipping URL with missing URL or label", "WARNING: Unknown item type: widget",
                             "Processing folder stack: /Users/a/Kept", "Added folder stack to array: /Users/a/Kept"})
        EXPECT_TRUE(log.printed(line)) << line;
}
