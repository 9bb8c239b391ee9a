#include "ImportWizard.h"

#include "InfoPlistReader.h"
#include "PathSanitizer.h"
#include "PopularApps.h"
#include "SafariWebAppService.h"

#include "core/QuayshareImportClient.h"
#include "platform/DesktopEntry.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "platform/Workspace.h"
#include "store/DockPresetManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <limits>

namespace pierline {
namespace {

const QString kFileScheme = QStringLiteral("file://");

bool fileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString folderItemPath(const DockFolderStackDTO& stack) {
    return percentDecodedOr(stack.path).remove(kFileScheme);
}

bool isCheckedFolder(const DockFolderStackDTO& stack) {
    return stack.itemType == QLatin1String("folder") && !stack.path.isEmpty();
}

QString normalisedStartUrl(QString url) {
    while (url.startsWith(QLatin1Char('/')))
        url.remove(0, 1);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url.toLower();
}

// A desktop file missing at its path may be installed here under the same desktop ID.
std::optional<QString> desktopFileById(const QString& path) {
    if (!path.endsWith(QLatin1String(".desktop")))
        return std::nullopt;
    const auto found = findDesktopFile(lastPathComponent(path));
    if (!found)
        return std::nullopt;
    return QUrl::fromLocalFile(*found).toString(QUrl::FullyEncoded);
}

} // namespace

ImportAppItem ImportAppItem::make(const QString& originalURL, const std::optional<SafariWebAppMetadata>& metadata) {
    ImportAppItem item;
    item.originalURL = originalURL;
    item.safariWebAppMetadata = metadata;
    item.isSafariWebApp = metadata && metadata->appType == SafariWebAppMetadata::AppType::Safari;
    const bool small = originalURL.contains(QLatin1String("pierline-small-spacer"));
    item.isSpacer = small || originalURL.contains(QLatin1String("pierline-spacer"));
    if (item.isSpacer)
        item.spacerType = small ? SpacerType::Small : SpacerType::Regular;
    const QUrl url(originalURL, QUrl::StrictMode);
    if (url.isValid()) {
        item.filePath = decodedPath(url);
    } else {
        item.filePath = originalURL;
    }
    if (metadata) {
        item.displayName = metadata->appName;
    } else if (item.isSpacer) {
        item.displayName = small ? QStringLiteral("Small Dock Spacer") : QStringLiteral("Dock Spacer");
    } else if (url.isValid()) {
        item.displayName = lastPathComponent(withoutTrailingSlashes(item.filePath));
        if (item.displayName.endsWith(QLatin1String(".app")))
            item.displayName.chop(4);
    } else {
        item.displayName = originalURL;
    }
    if (item.isSpacer) {
        item.existsOnSystem = true;
        item.isSelected = true;
        return item;
    }
    const QString path = QString(item.filePath).remove(kFileScheme);
    item.existsOnSystem = fileExists(path);
    if (!item.existsOnSystem) {
        item.resolvedURL = desktopFileById(path);
        item.existsOnSystem = item.resolvedURL.has_value();
    }
    item.isSelected = item.isSafariWebApp || item.existsOnSystem;
    return item;
}

QString ImportAppItem::status() const {
    if (existsOnSystem)
        return kAlreadyInstalled;
    return isSafariWebApp ? kNeedsSetup : kMissing;
}

std::optional<QString> ImportAppItem::getAppURL() const {
    if (existsOnSystem || isSafariWebApp || isSpacer)
        return std::nullopt;
    const PopularApp* app = findPopularApp(displayName);
    if (!app)
        return std::nullopt;
    return withTrackingQuery(app->downloadURL);
}

ImportPresetItem ImportPresetItem::make(const DockPresetDTO& dto) {
    ImportPresetItem item;
    item.originalDTO = dto;
    item.importName = dto.name;
    for (const DockFolderStackDTO& stack : dto.folderStacks) {
        ImportFolderStackItem folder;
        folder.originalStack = stack;
        if (isCheckedFolder(stack)) {
            folder.existsOnSystem = fileExists(folderItemPath(stack));
            folder.isSelected = folder.existsOnSystem;
        }
        item.folderStacks.append(folder);
    }
    // Quietly: a list that is not an array of strings shows no apps and is imported as it came.
    const QJsonDocument list = QJsonDocument::fromJson(dto.apps.toUtf8());
    if (!list.isArray())
        return item;
    const QJsonArray array = list.array();
    for (const QJsonValue& value : array) {
        if (!value.isString())
            return item;
    }
    item.appsDecoded = true;
    for (const QJsonValue& value : array) {
        const QString entry = value.toString();
        std::optional<SafariWebAppMetadata> metadata;
        if (dto.appMetadata && dto.appMetadata->contains(entry))
            metadata = dto.appMetadata->value(entry);
        item.apps.append(ImportAppItem::make(entry, metadata));
    }
    return item;
}

int ImportPresetItem::missingCount() const {
    return static_cast<int>(std::count_if(
        apps.begin(), apps.end(), [](const ImportAppItem& a) { return a.status() == ImportAppItem::kMissing; }));
}

int ImportPresetItem::needsSetupCount() const {
    return static_cast<int>(std::count_if(
        apps.begin(), apps.end(), [](const ImportAppItem& a) { return a.status() == ImportAppItem::kNeedsSetup; }));
}

DockPresetDTO ImportPresetItem::recordToImport(const QString& userName) const {
    DockPresetDTO record = originalDTO;
    record.idString = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    record.name = importName;
    // An app list that could not be read goes in as it came.
    if (appsDecoded) {
        QJsonArray chosen;
        for (const ImportAppItem& app : apps) {
            if (app.isSelected)
                chosen.append(app.resolvedURL ? *app.resolvedURL : restorePath(app.originalURL, userName));
        }
        record.apps = QString::fromUtf8(QJsonDocument(chosen).toJson(QJsonDocument::Compact));
    }
    record.folderStacks.clear();
    for (const ImportFolderStackItem& item : folderStacks) {
        if (!item.isSelected)
            continue;
        DockFolderStackDTO stack = item.originalStack;
        stack.path = restorePath(stack.path, userName);
        stack.url = restorePath(stack.url, userName);
        record.folderStacks.append(stack);
    }
    if (record.appMetadata)
        record.appMetadata = restoreKeys(*record.appMetadata, userName);
    return record;
}

ImportWizard::~ImportWizard() {
    if (advanceTimer_)
        timers_.cancel(*advanceTimer_);
}

void ImportWizard::fail(const QString& message) {
    showError = true;
    errorMessage = message;
}

void ImportWizard::advance() {
    if (currentStep == ImportStep::FileSelection)
        currentStep = ImportStep::Preview;
    else if (currentStep == ImportStep::Preview)
        currentStep = ImportStep::Confirmation;
}

bool ImportWizard::loadPresets(const QString& filePath) {
    selectedFileURL = filePath;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("Failed to load presets: ") +
             QStringLiteral("The file %1 could not be read: %2").arg(filePath, file.errorString()));
        return false;
    }
    return load(file.readAll(), QStringLiteral("Failed to load presets: "), kNoPresetsInFile);
}

bool ImportWizard::downloadAndLoad(const QUrl& link, const QuayshareImportClient& client) {
    downloadURL = link;
    isDownloading = true;
    QByteArray bytes;
    try {
        bytes = client.downloadPreset(link);
    } catch (const QuayshareImportError& error) {
        isDownloading = false;
        fail(QStringLiteral("Failed to download preset: ") + error.description());
        return false;
    }
    isDownloading = false;
    return load(bytes, QStringLiteral("Failed to parse preset data: "), kNoPresetsInLink);
}

bool ImportWizard::load(const QByteArray& bytes, const QString& decodeErrorPrefix, const QString& emptyText) {
    QList<DockPresetDTO> records;
    try {
        records = decodeBackup(bytes);
    } catch (const BackupDecodeError& error) {
        fail(decodeErrorPrefix + error.description());
        return false;
    }
    importPresets.clear();
    for (const DockPresetDTO& record : records)
        importPresets.append(ImportPresetItem::make(record));
    if (importPresets.isEmpty()) {
        fail(emptyText);
        return false;
    }
    // Paths that still hold the placeholder are found once it is replaced by this user's name.
    for (ImportPresetItem& preset : importPresets) {
        for (ImportAppItem& app : preset.apps) {
            if (!app.existsOnSystem)
                checkApp(app);
        }
    }
    if (advanceTimer_)
        timers_.cancel(*advanceTimer_);
    advanceTimer_ = timers_.schedule(0.5, false, [this] {
        advanceTimer_.reset();
        advance();
        if (stepChanged)
            stepChanged();
    });
    return true;
}

bool ImportWizard::checkApp(ImportAppItem& app) const {
    bool present = app.isSpacer;
    if (!present) {
        const QString path = restorePath(QString(app.filePath).remove(kFileScheme));
        present = fileExists(path);
        if (!present && (app.resolvedURL = desktopFileById(path)))
            present = true;
        if (!present && app.isSafariWebApp && app.safariWebAppMetadata)
            present = isWebAppInstalled(app.safariWebAppMetadata->appUrl);
    }
    if (present && !app.existsOnSystem && !app.isSelected)
        app.isSelected = true;
    app.existsOnSystem = present;
    return present;
}

bool ImportWizard::checkFolder(ImportFolderStackItem& item) const {
    if (!isCheckedFolder(item.originalStack))
        return item.existsOnSystem;
    const bool present = fileExists(restorePath(folderItemPath(item.originalStack)));
    if (present && !item.existsOnSystem)
        item.isSelected = true;
    item.existsOnSystem = present;
    return present;
}

void ImportWizard::refreshMissingItems(ImportPresetItem& preset) const {
    for (ImportAppItem& app : preset.apps) {
        if (!app.existsOnSystem)
            checkApp(app);
    }
    for (ImportFolderStackItem& item : preset.folderStacks)
        checkFolder(item);
}

bool ImportWizard::isWebAppInstalled(const std::optional<QString>& appUrl) {
    if (!appUrl)
        return false;
    const QString folder = SystemPaths::applicationsFolder();
    QDir dir(folder);
    if (!dir.exists() || !dir.isReadable()) {
        printLine(QStringLiteral("Error checking Applications folder: ") +
                  QStringLiteral("The folder %1 cannot be read").arg(folder));
        return false;
    }
    const QString wanted = normalisedStartUrl(*appUrl);
    for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!entry.endsWith(QLatin1String(".app")))
            continue;
        const QString bundle = dir.filePath(entry);
        const auto identifier = Workspace::shared().bundleIdentifier(bundle);
        if (!identifier || !identifier->startsWith(SafariWebAppService::kWebAppIdentifierPrefix))
            continue;
        try {
            const auto start = InfoPlistReader::readWebAppURL(bundle);
            if (start && normalisedStartUrl(*start) == wanted)
                return true;
        } catch (const InfoPlistError& error) {
            printWarning(QStringLiteral("Could not read the start URL of %1: %2").arg(bundle, error.description()));
        }
    }
    return false;
}

bool ImportWizard::importSelectedPresets(DockPresetManager& manager) {
    isImporting = true;
    const auto failed = [this](const QString& description) {
        isImporting = false;
        fail(QStringLiteral("Failed to import presets: ") + description);
        return false;
    };
    qsizetype base = 0;
    try {
        base = manager.fetchAllPresetsOrThrow().size();
    } catch (const StoreError& error) {
        return failed(error.description());
    }
    QList<const ImportPresetItem*> selected;
    for (const ImportPresetItem& preset : importPresets) {
        if (preset.isSelected)
            selected.append(&preset);
    }
    // The list position has 16 bits.
    if (base + selected.size() - 1 > std::numeric_limits<qint16>::max())
        return failed(QStringLiteral("The library cannot hold more than 32768 presets"));
    const QString userName = SystemPaths::userName();
    ManagedObjectContext& context = manager.context();
    for (qsizetype k = 0; k < selected.size(); ++k) {
        const DockPresetPtr preset = selected[k]->recordToImport(userName).makePreset(context);
        preset->setOrder(static_cast<qint16>(base + k));
    }
    try {
        context.save();
    } catch (const StoreError& error) {
        return failed(error.description());
    }
    NotificationCenter::shared().post(kPresetsDidChangeNotification);
    isImporting = false;
    showSuccess = true;
    return true;
}

} // namespace pierline
