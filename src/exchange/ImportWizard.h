#pragma once

#include "BackupRecords.h"

#include "platform/Clock.h"

#include <QList>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <optional>

namespace pierline {

class DockPresetManager;
class QuayshareImportClient;

enum class ImportStep { FileSelection, Preview, Confirmation };
enum class SpacerType { Regular, Small };

// One entry of a record's app list, as the preview shows it.
struct ImportAppItem {
    static inline const QString kAlreadyInstalled = QStringLiteral("Already Installed");
    static inline const QString kMissing = QStringLiteral("Missing");
    static inline const QString kNeedsSetup = QStringLiteral("Needs Setup");

    QUuid id = QUuid::createUuid();
    QString originalURL;
    QString displayName;
    QString filePath;
    bool isSelected = true;
    bool existsOnSystem = false;
    bool isSafariWebApp = false;
    std::optional<SafariWebAppMetadata> safariWebAppMetadata;
    bool isSpacer = false;
    std::optional<SpacerType> spacerType;
    // A desktop file found here by its desktop ID, stored instead of the missing path.
    std::optional<QString> resolvedURL;

    static ImportAppItem make(const QString& originalURL, const std::optional<SafariWebAppMetadata>& metadata);
    QString status() const; // one of the three texts above
    // The download page of a well-known app that is missing, with our tracking query.
    std::optional<QString> getAppURL() const;
};

struct ImportFolderStackItem {
    QUuid id = QUuid::createUuid();
    DockFolderStackDTO originalStack;
    bool isSelected = true;
    bool existsOnSystem = true;
};

// One preset of the document.
struct ImportPresetItem {
    QUuid id = QUuid::createUuid();
    DockPresetDTO originalDTO;
    bool isSelected = true;
    QString importName;
    QList<ImportAppItem> apps;
    QList<ImportFolderStackItem> folderStacks;
    bool appsDecoded = false; // the record's app list is a JSON array of strings

    static ImportPresetItem make(const DockPresetDTO& dto);
    int missingCount() const;    // apps shown as "Missing"
    int needsSetupCount() const; // web apps shown as "Needs Setup"
    // The record to store: a fresh id, the import name, the chosen apps and items, home paths
    // restored for `userName`.
    DockPresetDTO recordToImport(const QString& userName) const;
};

// The import wizard without its window: read a document, show what is missing, store the choice.
// Main thread only.
class ImportWizard {
public:
    static inline const QString kFooter =
        QStringLiteral("Imported presets are added to your library. Existing presets are not removed during import.");
    static inline const QString kErrorTitle = QStringLiteral("Import Error");
    static inline const QString kSuccessTitle = QStringLiteral("Import Successful");
    static inline const QString kSuccessMessage = QStringLiteral("Selected presets have been imported successfully!");
    static inline const QString kNoPresetsInFile = QStringLiteral("No valid presets found in the selected file.");
    static inline const QString kNoPresetsInLink = QStringLiteral("No valid presets found in the import link.");
    static inline const QString kSafariNotFound = QStringLiteral("Safari not found, opening with default browser");
    // The steps' texts, for the window the shell gives the wizard.
    static inline const QString kSelectFileTitle = QStringLiteral("Select Import File");
    static inline const QString kSelectFilePrompt = QStringLiteral("Choose a JSON file containing presets to import");
    static inline const QString kChooseFile = QStringLiteral("Choose File");
    static inline const QString kImportFromLink = QStringLiteral("Import from Link");
    static inline const QString kDownloading = QStringLiteral("Downloading preset...");
    static inline const QString kSelectAll = QStringLiteral("Select All");
    static inline const QString kDeselectAll = QStringLiteral("Deselect All");
    static inline const QString kImportName = QStringLiteral("Import name");
    static inline const QString kRefreshMissing = QStringLiteral("Refresh status of missing items");
    static inline const QString kCheckApp = QStringLiteral("Check if app was installed");
    static inline const QString kCheckWebApp = QStringLiteral("Check if Safari Web App was created");
    static inline const QString kCheckFolder = QStringLiteral("Check if folder was created");
    static inline const QString kGetAppNow = QStringLiteral("Get app now");
    static inline const QString kAddToDock = QStringLiteral("Add to Dock");
    static inline const QString kCopyUrl = QStringLiteral("Copy URL");
    static inline const QString kReadyTitle = QStringLiteral("Ready to Import");
    static inline const QString kReadySubtitle = QStringLiteral("Review the import summary below");
    static inline const QString kPresetsToImport = QStringLiteral("Presets to import:");
    static inline const QString kTotalApps = QStringLiteral("Total apps:");
    static inline const QString kTotalItems = QStringLiteral("Total items:");
    static inline const QString kImporting = QStringLiteral("Importing Presets...");
    static inline const QString kFailedToSelectFile = QStringLiteral("Failed to select file: ");

    explicit ImportWizard(Timers& timers = Timers::shared()) : timers_(timers) {}
    ~ImportWizard();
    ImportWizard(const ImportWizard&) = delete;
    ImportWizard& operator=(const ImportWizard&) = delete;

    ImportStep currentStep = ImportStep::FileSelection;
    QList<ImportPresetItem> importPresets;
    std::optional<QString> selectedFileURL;
    bool showError = false;
    QString errorMessage;
    bool showSuccess = false;
    bool isImporting = false;
    std::optional<QUrl> downloadURL;
    // Called when the wizard moves on by itself (to the preview, after a load); the window follows it.
    std::function<void()> stepChanged;
    bool isDownloading = false;

    // Each fills importPresets and, half a second later, moves to the preview; false with the
    // error shown when the document cannot be had or holds no preset.
    bool loadPresets(const QString& filePath);
    bool downloadAndLoad(const QUrl& link, const QuayshareImportClient& client);

    void advance();
    void refreshMissingItems(ImportPresetItem& preset) const;
    // The single-entry checks; true when the entry is there now.
    bool checkApp(ImportAppItem& app) const;
    bool checkFolder(ImportFolderStackItem& item) const;
    // Is a web app with this start URL in the applications folder?
    static bool isWebAppInstalled(const std::optional<QString>& appUrl);

    // Adds the selected presets after those in the store, in one save. False with the error shown.
    bool importSelectedPresets(DockPresetManager& manager);

private:
    bool load(const QByteArray& bytes, const QString& decodeErrorPrefix, const QString& emptyText);
    void fail(const QString& message);

    Timers& timers_;
    std::optional<TimerId> advanceTimer_;
};

} // namespace pierline
