#include "exchange/BackupRecords.h"
#include "exchange/PathSanitizer.h"
#include "support/TempHome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

TEST(PathSanitizer, RewritesEveryUsersSegmentKeepingEachSeparatorAsFound) {
    EXPECT_EQ(sanitizePath("file:///Users/alice/Documents/"), "file:///Users/USERNAME/Documents/");
    EXPECT_EQ(sanitizePath("/Users/alice/x"), "/Users/USERNAME/x");
    EXPECT_EQ(sanitizePath(R"(\/Users\/alice\/x)"), R"(\/Users\/USERNAME\/x)");
    EXPECT_EQ(sanitizePath(R"(/Users\/alice/x)"), R"(/Users\/USERNAME/x)");
    EXPECT_EQ(sanitizePath("/Volumes/Users/alice/x"), "/Volumes/Users/USERNAME/x"); // not anchored
    EXPECT_EQ(sanitizePath("/Users/alice"), "/Users/alice");                        // no separator after
    EXPECT_EQ(sanitizePath("/Applications/Safari.app/"), "/Applications/Safari.app/");
    // Every match of a JSON text, such as an app list with escaped slashes.
    EXPECT_EQ(sanitizePath(R"(["file:\/\/\/Users\/alice\/A.app\/","file:\/\/\/Users\/bob\/B.app\/"])"),
              R"(["file:\/\/\/Users\/USERNAME\/A.app\/","file:\/\/\/Users\/USERNAME\/B.app\/"])");
    // The Linux homes travel the same way.
    EXPECT_EQ(sanitizePath("file:///home/alice/.local/share/applications/a.desktop"),
              "file:///home/USERNAME/.local/share/applications/a.desktop");

    EXPECT_EQ(restorePath("file:///Users/USERNAME/Documents/", "bob"), "file:///Users/bob/Documents/");
    EXPECT_EQ(restorePath(R"(\/Users\/USERNAME\/x)", "bob"), R"(\/Users\/bob\/x)");
    EXPECT_EQ(restorePath("/home/USERNAME/x", "bob"), "/home/bob/x");
    EXPECT_EQ(restorePath("/Users/alice/x", "bob"), "/Users/alice/x");
    EXPECT_EQ(restorePath("/Users/USERNAME", "bob"), "/Users/USERNAME");
}

TEST(PathSanitizer, LinuxHomesCountOnlyAtTheRootOfAPath) {
    // A folder named "home" deeper down (such as a Pierline home) holds no user name.
    EXPECT_EQ(sanitizePath("file:///tmp/x/home/Applications/Safari.app/"),
              "file:///tmp/x/home/Applications/Safari.app/");
    EXPECT_EQ(sanitizePath("/srv/home/alice/x"), "/srv/home/alice/x");
    EXPECT_EQ(sanitizePath("/home/alice/x"), "/home/USERNAME/x");
    EXPECT_EQ(sanitizePath(R"(["file:\/\/\/home\/alice\/a.desktop","\/home\/bob\/b"])"),
              R"(["file:\/\/\/home\/USERNAME\/a.desktop","\/home\/USERNAME\/b"])");
    EXPECT_EQ(sanitizePath("file:///home/alice/.local/share/pierline/home/Applications/A.app/"),
              "file:///home/USERNAME/.local/share/pierline/home/Applications/A.app/");
    EXPECT_EQ(restorePath("file:///tmp/home/USERNAME/x", "bob"), "file:///tmp/home/USERNAME/x");
    EXPECT_EQ(restorePath("file:///home/USERNAME/x", "bob"), "file:///home/bob/x");
}

TEST(PathSanitizer, KeysThatBecomeEqualCollapseAndNotesKeepTextsThatAreNotObjects) {
    const QMap<QString, int> keys{{"file:///Users/alice/A.app/", 1}, {"file:///Users/bob/A.app/", 2}};
    const QMap<QString, int> sanitized = sanitizeKeys(keys);
    ASSERT_EQ(sanitized.size(), 1);
    EXPECT_EQ(sanitized.value("file:///Users/USERNAME/A.app/"), 2); // the later key in map order wins
    EXPECT_EQ(restoreKeys(sanitized, "carol").keys(), QStringList{"file:///Users/carol/A.app/"});

    EXPECT_EQ(sanitizeNoteKeys(R"({"file:///Users/alice/A.app":"hi /Users/alice/x"})"),
              R"({"file:///Users/USERNAME/A.app":"hi /Users/alice/x"})"); // values unchanged
    EXPECT_EQ(sanitizeNoteKeys("not json /Users/alice/"), "not json /Users/alice/");
    EXPECT_EQ(sanitizeNoteKeys(R"({"/Users/alice/":3})"), R"({"/Users/alice/":3})");
}

QByteArray stack(const QString& extra = {}) {
    return (R"({"path":"/p","displayAs":"folder","showAs":"grid","sortOrder":"name","order":0,)"
            R"("itemType":"folder","url":"/p","label":"")" +
            extra + "}")
        .toUtf8();
}

QByteArray record(const QByteArray& body) {
    return "[{" + body + "}]";
}

const QByteArray kMinimal = R"("name":"A","createdAt":"2025-03-01T09:15:00Z","apps":"[]","folderStacks":[])";

std::string decodeError(const QByteArray& bytes) {
    try {
        decodeBackup(bytes);
    } catch (const BackupDecodeError& error) {
        return error.description().toStdString();
    }
    return "accepted";
}

TEST(BackupDecoding, AnyStructuralFaultRefusesTheWholeDocumentAndNamesIt) {
    const QByteArray good = record(kMinimal);
    EXPECT_EQ(decodeError("[" + good.mid(1, good.size() - 2) + "," + good.mid(1, good.size() - 2) + "]"), "accepted");

    EXPECT_EQ(decodeError("{}"), "The document is not an array of presets");
    EXPECT_EQ(decodeError("[1]"), "Wrong type at [0]: expected an object");
    EXPECT_NE(decodeError("[{"), "accepted");
    EXPECT_EQ(decodeError(record(R"("createdAt":"2025-03-01T09:15:00Z","apps":"[]","folderStacks":[])")),
              "Missing key \"name\" at [0]");
    // A second record with no folderStacks fails the first too.
    EXPECT_EQ(decodeError("[{" + kMinimal + R"(},{"name":"B","createdAt":"2025-03-01T09:15:00Z","apps":""}])"),
              "Missing key \"folderStacks\" at [1]");
    EXPECT_EQ(decodeError(record(R"("name":null,"createdAt":"2025-03-01T09:15:00Z","apps":"","folderStacks":[])")),
              "Missing key \"name\" at [0]");
    EXPECT_EQ(decodeError(record(R"("name":"A","createdAt":"2025-03-01T09:15:00Z","apps":[],"folderStacks":[])")),
              "Wrong type for \"apps\" at [0]: expected a string");
    EXPECT_EQ(decodeError(record(kMinimal + R"(,"lastContextStatus":5)")),
              "Wrong type for \"lastContextStatus\" at [0]: expected a string");
    for (const char* date :
         {"2025-03-01T09:15:00.5Z", "2025-03-01 09:15:00Z", "2025-03-01T09:15:00", "2025-13-01T09:15:00Z"})
        EXPECT_NE(
            decodeError(record(QByteArray(R"("name":"A","createdAt":")") + date + R"(","apps":"","folderStacks":[])")),
            "accepted")
            << date;
    EXPECT_NE(decodeError(record(kMinimal + R"(,"lastContextUpdatedAt":"yesterday")")), "accepted");
    EXPECT_EQ(decodeError(record(kMinimal + R"(,"appMetadata":{"x":{"appName":"X","appType":"web"}})")),
              "Unknown appType \"web\" at [0].appMetadata[\"x\"]");
    EXPECT_EQ(decodeError(record(kMinimal + R"(,"appMetadata":{"x":{"appType":"safari"}})")),
              "Missing key \"appName\" at [0].appMetadata[\"x\"]");

    const QByteArray noStacks = R"("name":"A","createdAt":"2025-03-01T09:15:00Z","apps":"","folderStacks":)";
    EXPECT_EQ(decodeError(record(noStacks + "{}")), "Wrong type for \"folderStacks\" at [0]: expected an array");
    EXPECT_EQ(decodeError(record(noStacks + "[" + stack() + "]")), "accepted");
    QByteArray withoutLabel = stack();
    withoutLabel.replace(R"(,"label":"")", "");
    EXPECT_EQ(decodeError(record(noStacks + "[" + withoutLabel + "]")), "Missing key \"label\" at [0].folderStacks[0]");
    QByteArray fractional = stack();
    fractional.replace(R"("order":0)", R"("order":1.5)");
    EXPECT_EQ(decodeError(record(noStacks + "[" + fractional + "]")),
              "Wrong type for \"order\" at [0].folderStacks[0]: expected an integer");
    QByteArray wide = stack();
    wide.replace(R"("order":0)", R"("order":32768)");
    EXPECT_EQ(decodeError(record(noStacks + "[" + wide + "]")),
              "\"order\" 32768 at [0].folderStacks[0] is outside -32768..32767");
}

TEST(BackupDecoding, NullIsAbsentUnknownKeysAreIgnoredAndOffsetsAreUtc) {
    const auto records = decodeBackup(
        record(R"("name":"A","createdAt":"2025-03-01T10:15:00+01:00","apps":"","folderStacks":[],"appNotes":null,)"
               R"("future":{"x":1},"appMetadata":{"u":{"appName":"N","appType":"regular","appUrl":null}})"));
    ASSERT_EQ(records.size(), 1);
    EXPECT_FALSE(records[0].appNotes);
    EXPECT_EQ(isoDate(records[0].createdAt), "2025-03-01T09:15:00Z");
    ASSERT_TRUE(records[0].appMetadata);
    EXPECT_FALSE(records[0].appMetadata->value("u").appUrl);
    EXPECT_TRUE(decodeBackup("[]").isEmpty());
}

TEST(BackupEncoding, RecordsRoundTripAndAbsentValuesLeaveNoKey) {
    DockPresetDTO full;
    full.name = "Work";
    full.createdAt = QDateTime::fromString("2025-03-01T09:15:00Z", Qt::ISODate);
    full.apps = R"(["file:\/\/\/Applications\/Safari.app\/"])";
    full.appNotes = R"({"a":"b"})";
    full.folderStacks = {{"/p", "stack", "fan", "date added", -3, "file", "file:///p", "P"}};
    full.appMetadata = AppMetadataMap{{"u",
                                       {"Docs", SafariWebAppMetadata::AppType::Safari, "https://d.org/",
                                        "https://d.org/favicon.ico", "com.apple.Safari.WebApp.1"}}};
    full.lastContextStatus = "s";
    full.lastContextNextSteps = "n";
    full.lastContextUpdatedAt = full.createdAt.addSecs(60);
    DockPresetDTO bare;
    bare.name = "Bare";
    bare.createdAt = full.createdAt;

    const QByteArray bytes = encodeBackup({full, bare});
    EXPECT_TRUE(bytes.contains("\n        \"name\": \"Work\"")) << bytes.toStdString(); // pretty-printed
    EXPECT_EQ(decodeBackup(bytes), (QList<DockPresetDTO>{full, bare}));
    const QJsonObject bareJson = QJsonDocument::fromJson(bytes).array().at(1).toObject();
    EXPECT_EQ(bareJson.keys(), (QStringList{"apps", "createdAt", "folderStacks", "name"}));
}

} // namespace
} // namespace pierline::test
