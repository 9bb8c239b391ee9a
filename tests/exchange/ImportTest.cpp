#include "core/QuayshareImportClient.h"
#include "exchange/BackupExport.h"
#include "exchange/ImportWizard.h"
#include "platform/NotificationCenter.h"
#include "store/DockPresetManager.h"
#include "store/PersistenceController.h"
#include "support/EventLoop.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace pierline::test {
namespace {

QString fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + "/";
}

QString appsText(const QStringList& apps) {
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(apps)).toJson(QJsonDocument::Compact));
}

DockFolderStackDTO stack(const QString& type, const QString& path, qint16 order) {
    return {path, "folder", "grid", "name", order, type, path, ""};
}

DockPresetDTO record(const QString& name, const QStringList& apps, const QList<DockFolderStackDTO>& stacks = {}) {
    DockPresetDTO dto;
    dto.name = name;
    dto.createdAt = QDateTime(QDate(2025, 3, 1), QTime(9, 15), Qt::UTC);
    dto.apps = appsText(apps);
    dto.folderStacks = stacks;
    return dto;
}

// A home with a store and its manager, torn down before the home goes.
class Import : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::setShared(&clock);
        Timers::setShared(&timers);
        controller = std::make_unique<PersistenceController>(false);
        manager = std::make_unique<DockPresetManager>(
            *controller, DockPresetManagerOptions{.monitorNetwork = false, .networkMonitorFactory = {}});
    }
    void TearDown() override {
        drainMainQueue();
        manager.reset();
        controller.reset();
        Timers::setShared(nullptr);
        Clock::setShared(nullptr);
    }
    QString writeDocument(const QList<DockPresetDTO>& records) { return home.write("in.json", encodeBackup(records)); }
    QList<DockPresetPtr> stored() { return manager->fetchAllPresetsOrThrow(); }

    TempHome home;
    VirtualClock clock;
    VirtualTimers timers{clock};
    std::unique_ptr<PersistenceController> controller;
    std::unique_ptr<DockPresetManager> manager;
};

TEST_F(Import, ExportedPresetsComeBackWithEveryFieldButIdAndOrderAfterThoseStored) {
    const QString safari = home.makeBundle("Applications", "Safari", "com.apple.Safari");
    const QString docs = home.write("Docs/readme.txt", "x");
    auto preset = manager->context().insert<DockPreset>();
    preset->setId(QUuid::createUuid());
    preset->setName("Work");
    preset->setCreatedAt(QDateTime(QDate(2025, 3, 1), QTime(9, 15), Qt::UTC));
    preset->setApps(appsText({fileUrl(safari), "pierline-spacer-1"}));
    preset->setAppNotes(R"({"k":"note"})");
    preset->setLastContextStatus("status");
    preset->setLastContextNextSteps("next");
    preset->setLastContextUpdatedAt(QDateTime(QDate(2025, 3, 2), QTime(8, 0), Qt::UTC));
    preset->setOrder(1);
    auto item = manager->context().insert<DockFolderStack>();
    item->assign({docs, "file", docs, "Read me", "stack", "fan", "kind", 0});
    item->setPreset(preset);
    manager->context().save();
    ASSERT_EQ(stored().size(), 2); // with the default preset

    ExportDocument document = ExportDocument::forPresets({preset, preset});
    const QString file = home.write("backup.json", document.data());

    int changes = 0;
    const auto observer = NotificationCenter::shared().addObserver(
        kPresetsDidChangeNotification, Delivery::PosterThread, [&](const auto&) { ++changes; });
    ImportWizard wizard;
    ASSERT_TRUE(wizard.loadPresets(file)) << wizard.errorMessage.toStdString();
    EXPECT_EQ(wizard.currentStep, ImportStep::FileSelection);
    timers.advanceAndFire(0.5);
    EXPECT_EQ(wizard.currentStep, ImportStep::Preview);
    ASSERT_TRUE(wizard.importSelectedPresets(*manager)) << wizard.errorMessage.toStdString();
    EXPECT_TRUE(wizard.showSuccess);
    EXPECT_EQ(changes, 1);
    NotificationCenter::shared().removeObserver(observer);

    const QList<DockPresetPtr> all = stored();
    ASSERT_EQ(all.size(), 4);
    DockPresetDTO expected = DockPresetDTO::fromPreset(*preset);
    expected.idString.reset();
    for (int k : {2, 3}) {
        EXPECT_EQ(all[k]->order(), k);
        EXPECT_NE(all[k]->id(), preset->id());
        DockPresetDTO imported = DockPresetDTO::fromPreset(*all[k]);
        imported.idString.reset();
        EXPECT_EQ(imported, expected);
    }
    EXPECT_NE(all[2]->id(), all[3]->id());
}

TEST_F(Import, PreviewMarksWhatIsMissingAndTheChoiceDecidesWhatIsStored) {
    const QString mail = home.makeBundle("Applications", "Mail", "com.apple.Mail");
    const QString present = home.write("Stuff/.keep", "");
    DockPresetDTO dto = record("P",
                               {fileUrl(mail), "pierline-small-spacer-1", "file:///nowhere/Slack.app/",
                                "file:///nowhere/Private.app/", "file:///nowhere/Web.app/"},
                               {stack("folder", "file:///nowhere/Folder/", 0), stack("folder", "", 1),
                                stack("file", "/nowhere/file.txt", 2), stack("folder", QFileInfo(present).path(), 3)});
    dto.appMetadata = AppMetadataMap{
        {"file:///nowhere/Web.app/", {"Web", SafariWebAppMetadata::AppType::Safari, "https://web.example/", {}, {}}}};
    ImportWizard wizard;
    ASSERT_TRUE(wizard.loadPresets(writeDocument({dto, record("Bad list", {})})));
    ASSERT_EQ(wizard.importPresets.size(), 2);
    const ImportPresetItem& p = wizard.importPresets[0];
    ASSERT_EQ(p.apps.size(), 5);
    EXPECT_EQ(p.apps[0].status(), "Already Installed");
    EXPECT_TRUE(p.apps[1].isSpacer && p.apps[1].isSelected && p.apps[1].existsOnSystem);
    EXPECT_EQ(p.apps[1].displayName, "Small Dock Spacer");
    EXPECT_EQ(p.apps[2].status(), "Missing");
    EXPECT_FALSE(p.apps[2].isSelected);
    EXPECT_EQ(p.apps[2].getAppURL(), "https://slack.com/downloads/mac?utm_source=pierline&utm_medium=app");
    EXPECT_FALSE(p.apps[3].getAppURL());
    EXPECT_EQ(p.apps[4].status(), "Needs Setup");
    EXPECT_TRUE(p.apps[4].isSelected); // a web app can be set up, so it stays chosen
    EXPECT_EQ(p.missingCount(), 2);
    EXPECT_EQ(p.needsSetupCount(), 1);
    EXPECT_FALSE(p.folderStacks[0].existsOnSystem || p.folderStacks[0].isSelected);
    EXPECT_TRUE(p.folderStacks[1].existsOnSystem && p.folderStacks[2].existsOnSystem &&
                p.folderStacks[3].existsOnSystem);

    // Deselect everything but the spacer and the file; the other preset's "[]" stays empty.
    for (int j : {0, 4})
        wizard.importPresets[0].apps[j].isSelected = false;
    wizard.importPresets[0].folderStacks[1].isSelected = false;
    wizard.importPresets[0].folderStacks[3].isSelected = false;
    wizard.importPresets[1].importName = "Renamed";
    ASSERT_TRUE(wizard.importSelectedPresets(*manager));
    const QList<DockPresetPtr> all = stored();
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[1]->apps(), R"(["pierline-small-spacer-1"])");
    ASSERT_EQ(all[1]->folderStacksArray().size(), 1);
    EXPECT_EQ(all[1]->folderStacksArray()[0]->path(), "/nowhere/file.txt");
    EXPECT_EQ(all[2]->name(), "Renamed");
    EXPECT_EQ(all[2]->apps(), "[]");
}

TEST_F(Import, AnAppListThatIsNotAnArrayGoesInUnchangedWithNoItems) {
    DockPresetDTO dto = record("P", {});
    dto.apps = R"({"not":"a list"})";
    ImportWizard wizard;
    ASSERT_TRUE(wizard.loadPresets(writeDocument({dto})));
    EXPECT_TRUE(wizard.importPresets[0].apps.isEmpty());
    ASSERT_TRUE(wizard.importSelectedPresets(*manager));
    EXPECT_EQ(stored().last()->apps(), dto.apps);
}

TEST_F(Import, RefreshFindsARecreatedWebAppByItsStartUrlAndAFolderMadeSince) {
    const QString folder = home.file("Later");
    DockPresetDTO dto = record("P", {"file:///nowhere/Web.app/"}, {stack("folder", folder, 0)});
    dto.appMetadata =
        AppMetadataMap{{"file:///nowhere/Web.app/",
                        {"Web", SafariWebAppMetadata::AppType::Safari, "HTTPS://Web.example/app", {}, {}}}};
    ImportWizard wizard;
    ASSERT_TRUE(wizard.loadPresets(writeDocument({dto})));
    ImportPresetItem& p = wizard.importPresets[0];
    EXPECT_FALSE(p.apps[0].existsOnSystem);
    EXPECT_FALSE(p.folderStacks[0].isSelected);

    home.makeBundle("Applications", "Other", "com.apple.Safari.WebApp.1",
                    "<key>Manifest</key><dict><key>start_url</key><string>https://other.example/</string></dict>");
    home.makeBundle("Applications", "Web (2)", "com.apple.Safari.WebApp.2",
                    "<key>Manifest</key><dict><key>start_url</key><string>https://web.example/app/</string></dict>");
    QDir().mkpath(folder);
    wizard.refreshMissingItems(p);
    EXPECT_TRUE(p.apps[0].existsOnSystem);
    EXPECT_EQ(p.apps[0].status(), "Already Installed");
    EXPECT_TRUE(p.folderStacks[0].existsOnSystem && p.folderStacks[0].isSelected);
    EXPECT_FALSE(ImportWizard::isWebAppInstalled(std::nullopt));
    EXPECT_FALSE(ImportWizard::isWebAppInstalled("https://third.example/"));
}

TEST_F(Import, DesktopEntriesArePresentByTheirIdAndStoredAtTheFileFoundHere) {
    ScopedEnv dataHome("XDG_DATA_HOME", home.file("xdg-home").toUtf8());
    ScopedEnv dataDirs("XDG_DATA_DIRS", home.file("xdg").toUtf8());
    const QString here = home.write("xdg/applications/org.example.Writer.desktop", "[Desktop Entry]\nName=Writer\n");
    const QString elsewhere = "file:///home/USERNAME/.local/share/applications/org.example.Writer.desktop";
    ImportWizard wizard;
    ASSERT_TRUE(wizard.loadPresets(writeDocument({record("P", {elsewhere, "file:///x/org.example.Gone.desktop"})})));
    const ImportPresetItem& p = wizard.importPresets[0];
    EXPECT_TRUE(p.apps[0].existsOnSystem);
    EXPECT_FALSE(p.apps[1].existsOnSystem);
    ASSERT_TRUE(wizard.importSelectedPresets(*manager));
    EXPECT_EQ(stored().last()->apps(), appsText({QUrl::fromLocalFile(here).toString(QUrl::FullyEncoded)}));
}

TEST_F(Import, RefusedDocumentsAndMissingFilesStoreNothingAndSayWhy) {
    ImportWizard wizard;
    EXPECT_FALSE(
        wizard.loadPresets(home.write("bad.json", R"([{"name":"A","createdAt":"2025-03-01T09:15:00Z","apps":""}])")));
    EXPECT_TRUE(wizard.showError);
    EXPECT_EQ(wizard.errorMessage, "Failed to load presets: Missing key \"folderStacks\" at [0]");
    EXPECT_FALSE(wizard.loadPresets(home.write("empty.json", "[]")));
    EXPECT_EQ(wizard.errorMessage, "No valid presets found in the selected file.");
    EXPECT_FALSE(wizard.loadPresets(home.file("none.json")));
    EXPECT_TRUE(wizard.errorMessage.startsWith("Failed to load presets: ")) << wizard.errorMessage.toStdString();
    EXPECT_EQ(wizard.currentStep, ImportStep::FileSelection);
    EXPECT_EQ(timers.pending(), 0);
    EXPECT_EQ(stored().size(), 1);
}

struct DownloadCase {
    const char* name;
    LoopbackHttpServer::Reply reply;
    const char* error; // prefix of the error shown; empty: success
};

TEST_F(Import, DownloadsFromALinkAndEachWayTheyFail) {
    const QByteArray good = encodeBackup({record("Shared", {"pierline-spacer-1"})});
    const QList<DownloadCase> cases = {
        {"good", {200, good}, ""},
        {"empty", {200, "[]"}, "No valid presets found in the import link."},
        {"unparsable", {200, "<html>"}, "Failed to parse preset data: The data is not valid JSON"},
        {"not found", {404, "nope"}, "Failed to download preset: The server answered with status 404"},
        {"stalled", {200, good, true}, "Failed to download preset: The server did not answer within 0.2 seconds"},
        {"oversized",
         {200, good, false, QuayshareImportClient::kMaximumBodyBytes + 1},
         "Failed to download preset: The preset is larger than 16 MiB"},
    };
    for (const DownloadCase& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackHttpServer server(c.reply);
        ASSERT_TRUE(server.isListening());
        ImportWizard wizard;
        const bool loaded = wizard.downloadAndLoad(server.url(), QuayshareImportClient(0.2));
        EXPECT_FALSE(wizard.isDownloading);
        EXPECT_TRUE(server.request().startsWith("GET /preset HTTP/1.1")) << server.request().toStdString();
        if (QByteArray(c.error).isEmpty()) {
            ASSERT_TRUE(loaded) << wizard.errorMessage.toStdString();
            EXPECT_EQ(wizard.importPresets.value(0).importName, "Shared");
        } else {
            EXPECT_FALSE(loaded);
            EXPECT_TRUE(wizard.errorMessage.startsWith(c.error)) << wizard.errorMessage.toStdString();
        }
    }
}

} // namespace
} // namespace pierline::test
