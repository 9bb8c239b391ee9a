#include "exchange/BackupExport.h"
#include "platform/UserDefaults.h"
#include "store/PersistenceController.h"
#include "support/TempHome.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

const QString kSafari = "file:///Users/alice/Applications/Safari.app/";
const QString kMail = "file:///Applications/Mail.app/";

DockFolderStackPtr addStack(ManagedObjectContext& context, const DockPresetPtr& preset, const QString& type,
                            const QString& path, qint16 order) {
    auto stack = context.insert<DockFolderStack>();
    stack->setItemType(type);
    stack->setPath(path);
    stack->setOrder(order);
    stack->setPreset(preset);
    return stack;
}

class Export : public ::testing::Test {
protected:
    DockPresetPtr preset(const std::optional<QString>& name) {
        auto p = context().insert<DockPreset>();
        p->setId(QUuid::createUuid());
        p->setName(name);
        p->setCreatedAt(QDateTime(QDate(2025, 3, 1), QTime(9, 15), Qt::UTC));
        p->setApps(QString::fromUtf8(
            QJsonDocument(QJsonArray{kSafari, "pierline-spacer-1", kMail}).toJson(QJsonDocument::Compact)));
        return p;
    }
    ManagedObjectContext& context() { return controller.viewContext(); }
    TempHome home;
    PersistenceController controller{false};
};

TEST_F(Export, BackupDropsIdsAndFoldersUnlessAskedAndMakesHomePathsPortable) {
    const auto work = preset("Work");
    work->setAppNotes(R"({"file:///Users/alice/Applications/Safari.app":"n"})");
    addStack(context(), work, "folder", "file:///Users/alice/Downloads/", 0);
    addStack(context(), work, "file", "/Users/alice/Readme.txt", 1);
    addStack(context(), work, "folder", "/Users/alice/Documents/", 2);
    const auto nameless = preset(std::nullopt);
    const auto skipped = preset("Skipped");

    ExportDocument document = ExportDocument::forPresets({work, nameless, skipped});
    EXPECT_FALSE(document.includeFolders);
    document.presets[2].isSelected = false;
    EXPECT_EQ(document.selectedApps(),
              (QStringList{kSafari, "pierline-spacer-1", kMail, kSafari, "pierline-spacer-1", kMail}));
    document.appMetadata =
        AppMetadataMap{{kSafari, {"Safari", SafariWebAppMetadata::AppType::Regular, {}, {}, "com.apple.Safari"}}};

    const QList<DockPresetDTO> records = decodeBackup(document.data());
    ASSERT_EQ(records.size(), 2);
    EXPECT_FALSE(records[0].idString);
    EXPECT_EQ(records[0].name, "Work");
    EXPECT_EQ(records[1].name, "Untitled Preset");
    EXPECT_TRUE(records[0].apps.contains("file:///Users/USERNAME/Applications/Safari.app/"));
    EXPECT_FALSE(records[0].apps.contains("alice"));
    ASSERT_EQ(records[0].folderStacks.size(), 1); // only the file
    EXPECT_EQ(records[0].folderStacks[0].path, "/Users/USERNAME/Readme.txt");
    EXPECT_EQ(records[0].folderStacks[0].url, "/Users/USERNAME/Readme.txt");
    EXPECT_EQ(records[0].appNotes, work->appNotes()); // the backup's notes go out as stored
    for (const auto& record : records)
        EXPECT_EQ(record.appMetadata->keys(), QStringList{"file:///Users/USERNAME/Applications/Safari.app/"});

    document.includeFolders = true;
    EXPECT_EQ(decodeBackup(document.data())[0].folderStacks.size(), 3);
}

TEST_F(Export, SharedFileCarriesTheNotesInForceUnderPortableKeys) {
    const auto work = preset("Work");
    // The preset's own note wins over the global one; Mail has only a global note.
    work->setAppNotes(R"({"file:///Users/alice/Applications/Safari.app":"own","file:///Gone.app":"old"})");
    UserDefaults& defaults = UserDefaults::standard();
    defaults.set("globalAppNotes", QJsonDocument(QJsonObject{{"file:///Users/alice/Applications/Safari.app", "global"},
                                                             {"file:///Applications/Mail.app", "mail"}})
                                       .toJson());
    const DockPresetDTO record = singlePresetRecord(*work, std::nullopt);
    EXPECT_FALSE(record.idString);
    EXPECT_FALSE(record.appMetadata);
    ASSERT_TRUE(record.appNotes);
    EXPECT_EQ(QJsonDocument::fromJson(record.appNotes->toUtf8()).object(),
              (QJsonObject{{"file:///Users/USERNAME/Applications/Safari.app", "own"},
                           {"file:///Applications/Mail.app", "mail"}}));

    defaults.remove("globalAppNotes");
    work->setAppNotes(std::nullopt);
    EXPECT_FALSE(singlePresetRecord(*work, std::nullopt).appNotes);

    const QString path = home.file("one.json");
    writePresetFile(*work, AppMetadataMap{{kSafari, {"Safari", SafariWebAppMetadata::AppType::Regular, {}, {}, {}}}},
                    path);
    const auto written = decodeBackup(readFile(path).toUtf8());
    ASSERT_EQ(written.size(), 1);
    EXPECT_EQ(written[0].appMetadata->keys(), QStringList{"file:///Users/USERNAME/Applications/Safari.app/"});
}

TEST_F(Export, AFileThatCannotBeWrittenFailsAndLeavesNothing) {
    const QString path = home.file("missing-folder/out.json");
    EXPECT_THROW(writeExportFile(path, "[]"), ExportError);
    EXPECT_FALSE(QFile::exists(path));
    // An existing file is replaced only once all of its successor is written.
    const QString existing = home.write("old.json", "old");
    writeExportFile(existing, "[]");
    EXPECT_EQ(readFile(existing), "[]");
}

} // namespace
} // namespace pierline::test
