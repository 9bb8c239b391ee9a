#include "WriterFixtures.h"

#include "dock/DefaultsWriter.h"
#include "dock/DockTiles.h"
#include "platform/Url.h"
#include "support/CapturingLogSink.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;
using namespace pierline::test::writers;

namespace {

QVariantMap tileData(const QVariant& tile) {
    return tile.toMap().value("tile-data").toMap();
}

QString appUrl(const QString& bundlePath) {
    return fileUrlFromPath(bundlePath, true).toString(QUrl::FullyEncoded);
}

} // namespace

TEST(DefaultsTiles, InstalledAppGetsTheFullTileAndSpacersOnlyTheirType) {
    TempHome home;
    const QString safari = home.makeBundle("Applications", "Safari", "com.apple.Safari");
    const QString entry = appUrl(safari);

    const QVariantList tiles = DefaultsWriter::appTiles({entry, "pierline-spacer-1", "pierline-small-spacer-1"});
    ASSERT_EQ(tiles.size(), 3);
    const QVariantMap app = tiles.at(0).toMap();
    EXPECT_EQ(app.value("tile-type"), "file-tile");
    EXPECT_EQ(app.value("GUID").typeId(), QMetaType::LongLong);
    const QVariantMap data = tileData(app);
    EXPECT_EQ(data.value("file-data").toMap(),
              (QVariantMap{{"_CFURLString", entry}, {"_CFURLStringType", qint64(15)}}));
    EXPECT_EQ(data.value("file-label"), "Safari");
    EXPECT_EQ(data.value("file-type"), qint64(41));
    EXPECT_EQ(data.value("bundle-identifier"), "");
    EXPECT_EQ(data.value("dock-extra"), qint64(0));
    EXPECT_EQ(tiles.at(1).toMap(), (QVariantMap{{"tile-type", "spacer-tile"}}));
    EXPECT_EQ(tiles.at(2).toMap(), (QVariantMap{{"tile-type", "small-spacer-tile"}}));
}

TEST(DefaultsTiles, MissingAppIsStillWrittenWithoutTheExtras) {
    TempHome home;
    CapturingLogSink log;
    const QVariantList tiles = DefaultsWriter::appTiles({"file:///Applications/Gone%20Away.app/"});
    ASSERT_EQ(tiles.size(), 1);
    const QVariantMap tile = tiles.at(0).toMap();
    EXPECT_EQ(tile.keys(), (QStringList{"tile-data", "tile-type"}));
    EXPECT_EQ(tileData(tile).keys(), (QStringList{"file-data", "file-label"}));
    EXPECT_EQ(tileData(tile).value("file-label"), "Gone Away");
    EXPECT_TRUE(log.printed("WARNING: App does not exist at path: /Applications/Gone Away.app"));
}

TEST(DefaultsTiles, UnparsableAppEntryIsSkippedWithItsMessage) {
    CapturingLogSink log;
    const QVariantList tiles = DefaultsWriter::appTiles({"file://[broken/A.app", "pierline-spacer-1"});
    EXPECT_EQ(tiles.size(), 1);
    EXPECT_TRUE(log.printed("WARNING: Could not create URL from: file://[broken/A.app"));
    EXPECT_TRUE(log.printed("Added spacer at index 1"));
}

TEST(DefaultsTiles, AppNameDropsEveryAppSuffix) {
    EXPECT_EQ(appNameFromPath("/Applications/Visual Studio Code.app"), "Visual Studio Code");
    EXPECT_EQ(appNameFromPath("/Applications/Tools.app/Contents/Helper.app/"), "Helper");
    EXPECT_EQ(appNameFromPath("/Applications/Shop.apple.app"), "Shople");
}

TEST(DefaultsTiles, GuidsAreFreshForEveryTileAndEveryApply) {
    TempHome home;
    const QString entry = appUrl(home.makeBundle("Applications", "Mail", "com.apple.mail"));
    const QVariantList first = DefaultsWriter::appTiles({entry, entry});
    const QVariantList second = DefaultsWriter::appTiles({entry});
    const qint64 a = first.at(0).toMap().value("GUID").toLongLong();
    const qint64 b = first.at(1).toMap().value("GUID").toLongLong();
    const qint64 c = second.at(0).toMap().value("GUID").toLongLong();
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(b, c);
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
        const QVariantMap data = tileData(
            DockTiles::folderTile("/Users/a/Docs", folder("/Users/a/Docs", c.showAs, c.displayAs, c.sortOrder)));
        EXPECT_EQ(data.value("showas"), c.showas) << c.showAs.toStdString();
        EXPECT_EQ(data.value("displayas"), c.displayas) << c.displayAs.toStdString();
        EXPECT_EQ(data.value("arrangement"), c.arrangement) << c.sortOrder.toStdString();
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
    EXPECT_EQ(tiles.at(0).toMap().value("tile-type"), "directory-tile");
    EXPECT_EQ(tileData(tiles.at(0)).value("file-data").toMap().value("_CFURLString"), "file:///Users/a/My%20Docs/");
    EXPECT_EQ(tileData(tiles.at(0)).value("file-label"), "My Docs");
    EXPECT_EQ(tileData(tiles.at(1)).value("file-label"), "Code");
    EXPECT_EQ(tileData(tiles.at(2)).value("file-data").toMap().value("_CFURLString"), "file:///Users/a/Inbox/");
    EXPECT_EQ(tiles.at(3).toMap(),
              (QVariantMap{{"tile-type", "file-tile"},
                           {"tile-data", QVariantMap{{"file-data", QVariantMap{{"_CFURLString", "/Users/a/notes.txt"},
                                                                               {"_CFURLStringType", qint64(15)}}},
                                                     {"file-label", "notes.txt"}}}}));
    EXPECT_EQ(tileData(tiles.at(4)).value("file-label"), "Bee");
    EXPECT_EQ(tiles.at(5).toMap(),
              (QVariantMap{{"tile-type", "url-tile"},
                           {"tile-data", QVariantMap{{"url", QVariantMap{{"_CFURLString", "https://example.com/"},
                                                                         {"_CFURLStringType", qint64(15)}}},
                                                     {"label", "Example"}}}}));
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
    EXPECT_TRUE(log.printed("Skipping folder stack with no path"));
    EXPECT_TRUE(log.printed("Skipping file with no path"));
    EXPECT_TRUE(log.printed("Skipping URL with missing URL or label"));
    EXPECT_TRUE(log.printed("WARNING: Unknown item type: widget"));
    EXPECT_TRUE(log.printed("Processing folder stack: /Users/a/Kept"));
    EXPECT_TRUE(log.printed("Added folder stack to array: /Users/a/Kept"));
}
