#include "DockFixtures.h"
#include "dock/DockReader.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test::dock;

namespace {

const QString kSafari = QStringLiteral("file:///Applications/Safari.app/");
const QString kMail = QStringLiteral("file:///Applications/Mail.app/");

DockItem onlyItem(const QVariantMap& tile) {
    const DockReading reading = DockReader::parseDomain(domain({}, {tile}));
    EXPECT_EQ(reading.items.size(), 1);
    return reading.items.value(0);
}

DockTileData tileDataOf(const QVariantMap& tile) {
    return onlyItem(tile).tileData.value_or(DockTileData());
}

} // namespace

// ---- Left side: app entries ----

TEST(ParseDomain, SpacersAreCountedSeparatelyPerReading) {
    const QVariantMap dock =
        domain({appTile(kSafari), spacerTile(), appTile(kMail), smallSpacerTile(), spacerTile()}, {});
    const QStringList expected{kSafari, "pierline-spacer-1", kMail, "pierline-small-spacer-1", "pierline-spacer-2"};
    EXPECT_EQ(DockReader::parseDomain(dock).apps, expected);
    // A second reading starts its counters again.
    EXPECT_EQ(DockReader::parseDomain(dock).apps, expected);
}

TEST(ParseDomain, AppTilesWithoutAUrlAreDropped) {
    QVariantMap noData{{"tile-type", "file-tile"}};
    QVariantMap noFileData{{"tile-type", "file-tile"}, {"tile-data", QVariantMap{{"file-label", "X"}}}};
    QVariantMap numericUrl{{"tile-data", QVariantMap{{"file-data", QVariantMap{{"_CFURLString", qint64(5)}}}}}};
    QVariantMap dataNotADict{{"tile-type", "file-tile"}, {"tile-data", "file:///Applications/X.app/"}};
    // No tile type at all is still an app tile when it has a URL.
    QVariantMap untyped{{"tile-data", QVariantMap{{"file-data", QVariantMap{{"_CFURLString", kMail}}}}}};
    // An unknown tile type with a URL is kept as it is.
    QVariantMap oddType{{"tile-type", qint64(3)}, {"tile-data", appTile(kSafari).value("tile-data")}};
    const DockReading reading = DockReader::parseDomain(
        domain({noData, appTile(kSafari), noFileData, numericUrl, dataNotADict, untyped, oddType}, {}));
    EXPECT_EQ(reading.apps, (QStringList{kSafari, kMail, kSafari}));
}

TEST(ParseDomain, ListsOfAnotherShapeReadAsEmpty) {
    EXPECT_EQ(DockReader::parseDomain({}).apps, QStringList());
    EXPECT_TRUE(DockReader::parseDomain({}).items.isEmpty());
    EXPECT_TRUE(
        DockReader::parseDomain({{"persistent-apps", "text"}, {"persistent-others", qint64(1)}}).apps.isEmpty());
    // A list with something other than tiles in it is not the Dock's tile list.
    const DockReading mixed =
        DockReader::parseDomain({{"persistent-apps", QVariantList{appTile(kSafari), "junk"}},
                                 {"persistent-others", QVariantList{urlTile("https://a.example", "A")}}});
    EXPECT_TRUE(mixed.apps.isEmpty());
    EXPECT_EQ(mixed.items.size(), 1);
}

// ---- Right side: Dock items ----

TEST(ParseDomain, OtherTilesNeedATextTileType) {
    QVariantMap untyped = folderTile("file:///Users/me/Downloads/", 1, 1, 1);
    untyped.remove("tile-type");
    QVariantMap numericType = folderTile("file:///Users/me/Downloads/", 1, 1, 1);
    numericType.insert("tile-type", qint64(2));
    const DockReading reading =
        DockReader::parseDomain(domain({}, {untyped, numericType, fileTile("file:///Users/me/a.txt", "a.txt")}));
    ASSERT_EQ(reading.items.size(), 1);
    EXPECT_EQ(reading.items[0].tileType, "file-tile");
}

TEST(ParseDomain, TileWithoutDataGetsDefaults) {
    const DockItem item = onlyItem({{"tile-type", "directory-tile"}});
    ASSERT_TRUE(item.tileData);
    DockTileData expected;
    expected.displayAs = "folder";
    expected.showAs = "grid";
    expected.arrangement = "name";
    EXPECT_EQ(*item.tileData, expected);
    EXPECT_EQ(item.tileType, "directory-tile");
}

TEST(ParseDomain, StackSettingsFromIntegersOrText) {
    const QString downloads = QStringLiteral("file:///Users/me/Downloads/");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, qint64(1), {})).showAs, "fan");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, "1", {})).showAs, "fan");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, qint64(7), {})).showAs, "grid");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, qint64(0), {})).showAs, "auto");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, "3", {})).showAs, "list");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, " 1", {})).showAs, "grid");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, 1.0, {})).showAs, "grid"); // a real is neither text nor integer
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, true, {})).showAs, "grid");

    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, {}, {})).displayAs, "folder");
    EXPECT_EQ(tileDataOf(folderTile(downloads, qint64(0), {}, {})).displayAs, "stack");
    EXPECT_EQ(tileDataOf(folderTile(downloads, "0", {}, {})).displayAs, "stack");
    EXPECT_EQ(tileDataOf(folderTile(downloads, qint64(1), {}, {})).displayAs, "folder");

    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, {}, {})).arrangement, "name");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, {}, qint64(0))).arrangement, "name");
    EXPECT_EQ(tileDataOf(folderTile(downloads, {}, {}, "5")).arrangement, "kind");
}

TEST(ParseDomain, ArrangementNamesRoundTripThroughTheDockCode) {
    for (const char* name : {"name", "date added", "date modified", "date created", "kind"}) {
        const int code = arrangementCode(name);
        EXPECT_EQ(tileDataOf(folderTile("file:///x/", {}, {}, qint64(code))).arrangement, name) << name;
    }
    EXPECT_EQ(arrangementCode("unknown"), 1);
    EXPECT_EQ(arrangementCode(""), 1);
}

TEST(ParseDomain, FileAndUrlDataAreCopiedWithTheirTypes) {
    QVariantMap tile = urlTile("https://example.com/", "Example");
    QVariantMap data = tile.value("tile-data").toMap();
    data.insert("file-data", QVariantMap{{"_CFURLString", qint64(9)}, {"_CFURLStringType", "15"}});
    tile.insert("tile-data", data);
    const DockTileData parsed = tileDataOf(tile);
    ASSERT_TRUE(parsed.url && parsed.fileData);
    EXPECT_EQ(parsed.url->CFURLString, "https://example.com/");
    EXPECT_EQ(parsed.url->CFURLStringType, 15);
    EXPECT_EQ(*parsed.fileData, FileData()); // wrong types give an empty record, not a guess
    EXPECT_EQ(parsed.label, "Example");
    EXPECT_FALSE(parsed.fileLabel);
}

// ---- Coding of Dock items ----

TEST(DockItemJson, UsesCodingKeysAndOmitsAbsentValues) {
    const DockItem item = onlyItem(folderTile("file:///Users/me/Downloads/", 0, 1, 2));
    const QJsonObject json = item.toJson();
    EXPECT_EQ(QJsonDocument(json).toJson(QJsonDocument::Compact),
              R"({"tileData":{"arrangement":"date added","displayAs":"stack","fileData":{"CFURLString":)"
              R"("file:///Users/me/Downloads/","CFURLStringType":15},"fileLabel":"Downloads","showAs":"fan"},)"
              R"("tileType":"directory-tile"})");
    EXPECT_EQ(DockItem::fromJson(json), item);
    EXPECT_EQ(DockItem::fromJson({}), DockItem());
    EXPECT_TRUE(DockItem().toJson().isEmpty());
}

// ---- Comparing app lists ----

TEST(AppNormalisation, EquivalentEntriesCompareEqual) {
    EXPECT_EQ(normalizedAppEntry("file:///Applications/Safari.app/"),
              normalizedAppEntry("file:///Applications/Safari.app"));
    EXPECT_EQ(normalizedAppEntry("pierline-spacer-3"), normalizedAppEntry("pierline-spacer-1"));
    EXPECT_EQ(normalizedAppEntry("pierline-small-spacer-9"), "small-spacer-tile");
    EXPECT_NE(normalizedAppEntry("pierline-small-spacer-1"), normalizedAppEntry("pierline-spacer-1"));
    EXPECT_EQ(normalizedAppEntry("file:///Applications/Visual%20Studio%20Code.app/"),
              normalizedAppEntry("file:///Applications/Visual Studio Code.app"));
    EXPECT_EQ(normalizedAppEntry("file:///Applications/A.app///"), "file:///Applications/A.app");
    // A broken escape is compared as written.
    EXPECT_EQ(normalizedAppEntry("file:///Applications/100%.app/"), "file:///Applications/100%.app");
}

TEST(AppNormalisation, ListsMatchElementByElementInOrder) {
    const QStringList dock{"file:///Applications/Safari.app/", "pierline-spacer-1", "file:///Applications/Mail.app/"};
    // A plain path is not a file URL.
    EXPECT_FALSE(
        appListsMatch(dock, {"file:///Applications/Safari.app", "pierline-spacer-7", "/Applications/Mail.app/"}));
    EXPECT_TRUE(
        appListsMatch(dock, {"file:///Applications/Safari.app", "pierline-spacer-7", "file:///Applications/Mail.app"}));
    EXPECT_FALSE(appListsMatch(
        dock, {"file:///Applications/Mail.app/", "pierline-spacer-1", "file:///Applications/Safari.app/"}));
    EXPECT_FALSE(appListsMatch(dock, dock.mid(0, 2)));
    EXPECT_FALSE(appListsMatch(
        dock, {"file:///Applications/Safari.app/", "pierline-small-spacer-1", "file:///Applications/Mail.app/"}));
    EXPECT_TRUE(appListsMatch({}, {}));
}

// ---- Dock items to stored items ----

TEST(StoredItem, FolderTakesItsStackSettings) {
    const DockItem item = onlyItem(folderTile("file:///Users/me/Downloads/", 0, 1, 3));
    std::optional<QString> unknown = QStringLiteral("stale");
    const auto values = storedItemFromDockItem(item, StoredItemKinds::FoldersOnly, &unknown);
    ASSERT_TRUE(values);
    EXPECT_FALSE(unknown);
    EXPECT_EQ(values->path, "file:///Users/me/Downloads/");
    EXPECT_EQ(values->url, "file:///Users/me/Downloads/");
    EXPECT_EQ(values->itemType, "folder");
    EXPECT_FALSE(values->label); // a folder's label is not stored
    EXPECT_EQ(values->displayAs, "stack");
    EXPECT_EQ(values->showAs, "fan");
    EXPECT_EQ(values->sortOrder, "date modified");
}

TEST(StoredItem, FilesAndLinksUseFixedStackValues) {
    const auto file = storedItemFromDockItem(onlyItem(fileTile("file:///Users/me/Notes%20A.txt", "Notes A.txt")),
                                             StoredItemKinds::All);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->itemType, "file");
    EXPECT_EQ(file->path, "file:///Users/me/Notes%20A.txt");
    EXPECT_EQ(file->url, "file:///Users/me/Notes%20A.txt");
    EXPECT_EQ(file->label, "Notes A.txt");
    EXPECT_EQ(std::tie(file->displayAs, file->showAs, file->sortOrder), std::make_tuple("folder", "grid", "name"));

    QVariantMap linkTile = urlTile("https://example.com/docs", "Docs");
    QVariantMap linkData = linkTile.value("tile-data").toMap();
    linkData.insert("showas", qint64(1)); // stack settings of a link are ignored
    linkTile.insert("tile-data", linkData);
    const auto link = storedItemFromDockItem(onlyItem(linkTile), StoredItemKinds::All);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->itemType, "url");
    EXPECT_FALSE(link->path);
    EXPECT_EQ(link->url, "https://example.com/docs");
    EXPECT_EQ(link->label, "Docs");
    EXPECT_EQ(std::tie(link->displayAs, link->showAs, link->sortOrder), std::make_tuple("folder", "grid", "name"));
}

TEST(StoredItem, SkipsFoldersWithoutLocationAndUnknownTypes) {
    std::optional<QString> unknown;
    EXPECT_FALSE(storedItemFromDockItem(onlyItem({{"tile-type", "directory-tile"}}), StoredItemKinds::All, &unknown));
    EXPECT_FALSE(unknown);

    EXPECT_FALSE(storedItemFromDockItem(onlyItem({{"tile-type", "recents-tile"}}), StoredItemKinds::All, &unknown));
    EXPECT_EQ(unknown, "recents-tile");
    EXPECT_FALSE(
        storedItemFromDockItem(onlyItem({{"tile-type", "recents-tile"}}), StoredItemKinds::FoldersOnly, &unknown));
    EXPECT_EQ(unknown, "recents-tile");
}

TEST(StoredItem, FoldersOnlyDropsFilesAndLinksQuietly) {
    const DockReading reading = DockReader::parseDomain(
        domain({}, {fileTile("file:///a.txt", "a.txt"), folderTile("file:///Users/me/Downloads/", 1, 2, 1),
                    urlTile("https://example.com/", "E")}));
    QList<DockFolderStackValues> kept;
    for (const DockItem& item : reading.items) {
        std::optional<QString> unknown;
        if (auto values = storedItemFromDockItem(item, StoredItemKinds::FoldersOnly, &unknown))
            kept.append(*values);
        EXPECT_FALSE(unknown);
    }
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept[0].itemType, "folder");

    int all = 0;
    for (const DockItem& item : reading.items)
        all += storedItemFromDockItem(item, StoredItemKinds::All) ? 1 : 0;
    EXPECT_EQ(all, 3);
}

// ---- Reading errors ----

TEST(DockReadErrorText, UserMessagesByKind) {
    using Kind = DockReadError::Kind;
    EXPECT_EQ((DockReadError{Kind::CommandFailed, "x"}).userMessage(),
              "Pierline couldn't read your Dock layout. Please restart Pierline and try again.");
    const QString understand = QStringLiteral(
        "Pierline couldn't understand your Dock layout. Please contact support if this keeps happening.");
    EXPECT_EQ((DockReadError{Kind::ParseFailed, "x"}).userMessage(), understand);
    EXPECT_EQ((DockReadError{Kind::UnexpectedFormat, {}}).userMessage(), understand);
}
