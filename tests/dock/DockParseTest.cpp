#include "dock/DockReader.h"
#include "support/DockPlist.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

const QString kSafari = QStringLiteral("file:///Applications/Safari.app/");
const QString kMail = QStringLiteral("file:///Applications/Mail.app/");
const QString kDownloads = QStringLiteral("file:///Users/me/Downloads/");

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

TEST(ParseDomain, AppTilesWithoutAUrlAreDroppedAndListsOfAnotherShapeReadAsEmpty) {
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
    QVariantMap untyped = folderTile(kDownloads, 1, 1, 1);
    untyped.remove("tile-type");
    QVariantMap numericType = folderTile(kDownloads, 1, 1, 1);
    numericType.insert("tile-type", qint64(2));
    const DockReading reading =
        DockReader::parseDomain(domain({}, {untyped, numericType, fileTile("file:///Users/me/a.txt", "a.txt")}));
    ASSERT_EQ(reading.items.size(), 1);
    EXPECT_EQ(reading.items[0].tileType, "file-tile");
}

TEST(ParseDomain, StackSettingsFromIntegersOrTextWithDefaultsAndFileAndUrlDataWithTheirTypes) {
    // A tile without data gets every default.
    const DockItem bare = onlyItem({{"tile-type", "directory-tile"}});
    ASSERT_TRUE(bare.tileData);
    DockTileData defaults;
    std::tie(defaults.displayAs, defaults.showAs, defaults.arrangement) = std::make_tuple("folder", "grid", "name");
    EXPECT_EQ(*bare.tileData, defaults);
    EXPECT_EQ(bare.tileType, "directory-tile");

    struct Case {
        QVariant displayas, showas, arrangement;
        const char *displayAs, *showAs, *arrangementName;
    };
    const Case cases[] = {
        {{}, {}, {}, "folder", "grid", "name"},
        {qint64(0), qint64(1), qint64(0), "stack", "fan", "name"},
        {"0", "1", "5", "stack", "fan", "kind"},
        {qint64(1), qint64(7), {}, "folder", "grid", "name"},
        {{}, qint64(0), {}, "folder", "auto", "name"},
        {{}, "3", {}, "folder", "list", "name"},
        {{}, " 1", {}, "folder", "grid", "name"},
        {{}, 1.0, {}, "folder", "grid", "name"}, // a real is neither text nor integer
        {{}, true, {}, "folder", "grid", "name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.showas.toString().toStdString() + " " + c.arrangement.toString().toStdString());
        const DockTileData data = tileDataOf(folderTile(kDownloads, c.displayas, c.showas, c.arrangement));
        EXPECT_EQ(data.displayAs, c.displayAs);
        EXPECT_EQ(data.showAs, c.showAs);
        EXPECT_EQ(data.arrangement, c.arrangementName);
    }

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

TEST(DockItemJson, UsesCodingKeysAndOmitsAbsentValues) {
    const DockItem item = onlyItem(folderTile(kDownloads, 0, 1, 2));
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

TEST(AppNormalisation, EquivalentEntriesCompareEqualAndListsMatchInOrder) {
    const std::pair<const char*, const char*> same[] = {
        {"file:///Applications/Safari.app/", "file:///Applications/Safari.app"},
        {"pierline-spacer-3", "pierline-spacer-1"},
        {"file:///Applications/Visual%20Studio%20Code.app/", "file:///Applications/Visual Studio Code.app"},
    };
    for (const auto& [a, b] : same)
        EXPECT_EQ(normalizedAppEntry(a), normalizedAppEntry(b)) << a;
    EXPECT_EQ(normalizedAppEntry("pierline-small-spacer-9"), "small-spacer-tile");
    EXPECT_NE(normalizedAppEntry("pierline-small-spacer-1"), normalizedAppEntry("pierline-spacer-1"));
    EXPECT_EQ(normalizedAppEntry("file:///Applications/A.app///"), "file:///Applications/A.app");
    // A broken escape is compared as written.
    EXPECT_EQ(normalizedAppEntry("file:///Applications/100%.app/"), "file:///Applications/100%.app");

    const QStringList dock{kSafari, "pierline-spacer-1", kMail};
    EXPECT_TRUE(
        appListsMatch(dock, {"file:///Applications/Safari.app", "pierline-spacer-7", "file:///Applications/Mail.app"}));
    // A plain path is not a file URL.
    EXPECT_FALSE(
        appListsMatch(dock, {"file:///Applications/Safari.app", "pierline-spacer-7", "/Applications/Mail.app/"}));
    EXPECT_FALSE(appListsMatch(dock, {kMail, "pierline-spacer-1", kSafari}));
    EXPECT_FALSE(appListsMatch(dock, dock.mid(0, 2)));
    EXPECT_FALSE(appListsMatch(dock, {kSafari, "pierline-small-spacer-1", kMail}));
    EXPECT_TRUE(appListsMatch({}, {}));
}

// ---- Dock items to stored items ----

TEST(StoredItem, FoldersTakeTheirStackSettingsFilesAndLinksFixedOnes) {
    using V = DockFolderStackValues;
    std::optional<QString> unknown = "stale";
    // A folder's label is not stored.
    EXPECT_EQ(storedItemFromDockItem(onlyItem(folderTile(kDownloads, 0, 1, 3)), StoredItemKinds::FoldersOnly, &unknown),
              (V{kDownloads, "folder", kDownloads, std::nullopt, "stack", "fan", "date modified"}));
    EXPECT_FALSE(unknown);

    const QString notes = "file:///Users/me/Notes%20A.txt";
    EXPECT_EQ(storedItemFromDockItem(onlyItem(fileTile(notes, "Notes A.txt")), StoredItemKinds::All),
              (V{notes, "file", notes, "Notes A.txt"}));

    QVariantMap linkTile = urlTile("https://example.com/docs", "Docs");
    QVariantMap linkData = linkTile.value("tile-data").toMap();
    linkData.insert("showas", qint64(1)); // stack settings of a link are ignored
    linkTile.insert("tile-data", linkData);
    EXPECT_EQ(storedItemFromDockItem(onlyItem(linkTile), StoredItemKinds::All),
              (V{std::nullopt, "url", "https://example.com/docs", "Docs"}));
}

TEST(StoredItem, SkipsFoldersWithoutLocationUnknownTypesAndWhatTheKindsLeaveOut) {
    std::optional<QString> unknown;
    EXPECT_FALSE(storedItemFromDockItem(onlyItem({{"tile-type", "directory-tile"}}), StoredItemKinds::All, &unknown));
    EXPECT_FALSE(unknown);
    for (const StoredItemKinds kinds : {StoredItemKinds::All, StoredItemKinds::FoldersOnly}) {
        unknown.reset();
        EXPECT_FALSE(storedItemFromDockItem(onlyItem({{"tile-type", "recents-tile"}}), kinds, &unknown));
        EXPECT_EQ(unknown, "recents-tile");
    }

    // Folders only drops files and links quietly.
    const DockReading reading =
        DockReader::parseDomain(domain({}, {fileTile("file:///a.txt", "a.txt"), folderTile(kDownloads, 1, 2, 1),
                                            urlTile("https://example.com/", "E")}));
    QStringList kept;
    for (const DockItem& item : reading.items) {
        std::optional<QString> unknownType;
        if (auto values = storedItemFromDockItem(item, StoredItemKinds::FoldersOnly, &unknownType))
            kept.append(*values->itemType);
        EXPECT_FALSE(unknownType);
    }
    EXPECT_EQ(kept, QStringList{"folder"}); // All keeps every kind: `preset create --from-dock`
}

TEST(DockReadErrorText, UserMessagesByKind) {
    using Kind = DockReadError::Kind;
    EXPECT_EQ((DockReadError{Kind::CommandFailed, "x"}).userMessage(),
              "Pierline couldn't read your Dock layout. Please restart Pierline and try again.");
    const QString understand =
        "Pierline couldn't understand your Dock layout. Please contact support if this keeps happening.";
    EXPECT_EQ((DockReadError{Kind::ParseFailed, "x"}).userMessage(), understand);
    EXPECT_EQ((DockReadError{Kind::UnexpectedFormat, {}}).userMessage(), understand);
}
