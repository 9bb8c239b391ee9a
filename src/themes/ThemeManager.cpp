#include "ThemeManager.h"

#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace pierline {
namespace {

ThemeManager* g_shared = nullptr;

const Logger& themeLog() {
    static const Logger logger(QStringLiteral("ThemeManager"));
    return logger;
}

void info(const QString& message) {
    themeLog().info(message);
}

// A failure: an error in the structured log, and a warning the user sees.
void failure(const QString& message) {
    themeLog().error(message);
    printWarning(QStringLiteral("[ThemeManager] ") + message);
}

const QStringList& bundledThemeNames() {
    static const QStringList names = {QStringLiteral("Pierline-Default.json"), QStringLiteral("Pierline-Ocean.json"),
                                      QStringLiteral("Pierline-Neon.json")};
    return names;
}

// File names in code-point order, so every machine lists a folder the same way.
QStringList sortedFileNames(QStringList names) {
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
    return names;
}

std::optional<QByteArray> readAll(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Could not read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

bool isBuiltInIdentity(const ThemeDefinition& theme) {
    const ThemeDefinition& builtIn = builtInTheme();
    return theme.id == builtIn.id && theme.name == builtIn.name && theme.author == builtIn.author;
}

} // namespace

ThemeSources ThemeSources::standard() {
    return {QDir(SystemPaths::applicationSupportFolder()).filePath(QStringLiteral("Themes")),
            QStringLiteral(":/DefaultThemes"), SystemPaths::bundleResource(QString())};
}

ThemeManager::ThemeManager(UserDefaults& defaults, ThemeSources sources, QObject* parent)
    : QObject(parent), defaults_(defaults), sources_(std::move(sources)), currentTheme_(builtInTheme()) {
    prepareThemesFolder();
    loadThemes();
    restoreSelection();
}

ThemeManager::~ThemeManager() {
    if (g_shared == this)
        g_shared = nullptr;
}

ThemeManager* ThemeManager::shared() {
    return g_shared;
}

void ThemeManager::setShared(ThemeManager* manager) {
    g_shared = manager;
}

void ThemeManager::prepareThemesFolder() {
    const QFileInfo folder(sources_.themesFolder);
    if (!folder.isDir()) {
        if (folder.exists())
            failure(QStringLiteral("Failed to create themes directory: %1 is not a folder").arg(sources_.themesFolder));
        else if (!QDir().mkpath(sources_.themesFolder))
            failure(
                QStringLiteral("Failed to create themes directory: could not create %1").arg(sources_.themesFolder));
    }
    copyBundledThemes();
}

std::optional<QString> ThemeManager::bundledThemesFolder() const {
    if (!sources_.embeddedThemes.isEmpty() && QFileInfo(sources_.embeddedThemes).isDir())
        return sources_.embeddedThemes;
    const QDir resources(sources_.bundleResources);
    if (!sources_.bundleResources.isEmpty()) {
        if (const QString folder = resources.filePath(QStringLiteral("DefaultThemes")); QFileInfo(folder).isDir())
            return folder;
        for (const QString& name : bundledThemeNames()) {
            if (QFileInfo::exists(resources.filePath(name)))
                return sources_.bundleResources;
        }
        if (const QString folder = resources.filePath(QStringLiteral("Resources/DefaultThemes"));
            QFileInfo(folder).isDir())
            return folder;
    }
    failure(QStringLiteral("Could not find DefaultThemes directory in bundle"));
    return std::nullopt;
}

void ThemeManager::copyBundledThemes() {
    const std::optional<QString> folder = bundledThemesFolder();
    if (!folder)
        return;
    QStringList kept;
    for (const QFileInfo& entry : QDir(*folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        if (entry.suffix() == QLatin1String("json") && entry.fileName().startsWith(QLatin1String("Pierline-")))
            kept.append(entry.fileName());
    }
    kept = sortedFileNames(kept);
    if (kept.isEmpty()) {
        info(QStringLiteral("No bundled themes found in app bundle"));
        return;
    }
    info(QStringLiteral("Found %1 bundled theme files").arg(kept.size()));
    const QDir themes(sources_.themesFolder);
    for (const QString& name : kept) {
        const QString source = QDir(*folder).filePath(name);
        const QString destination = themes.filePath(name);
        const QFileInfo existing(destination);
        if (existing.exists() || existing.isSymLink()) {
            refreshExistingTheme(name, source, destination);
            continue;
        }
        QString error;
        const std::optional<QByteArray> bytes = readAll(source, &error);
        if (bytes) {
            if (const auto writeError = replaceFileAtomically(destination, *bytes))
                error = *writeError;
        }
        if (error.isEmpty())
            info(QStringLiteral("Copied bundled theme: %1").arg(name));
        else
            failure(QStringLiteral("Failed to copy theme %1: %2").arg(name, error));
    }
}

void ThemeManager::refreshExistingTheme(const QString& fileName, const QString& source, const QString& destination) {
    if (fileName != kDefaultThemeFile) {
        info(QStringLiteral("Theme %1 already exists, skipping copy").arg(fileName));
        return;
    }
    const auto couldNot = [&](const QString& why) {
        failure(QStringLiteral("Theme %1 already exists and could not be refreshed: %2").arg(fileName, why));
    };
    QString error;
    const std::optional<QByteArray> bundledBytes = readAll(source, &error);
    if (!bundledBytes)
        return couldNot(error);
    const std::optional<QByteArray> existingBytes = readAll(destination, &error);
    if (!existingBytes)
        return couldNot(error);
    auto bundled = decodeTheme(*bundledBytes);
    if (const auto* decodeError = std::get_if<ThemeError>(&bundled))
        return couldNot(QStringLiteral("%1: %2").arg(source, decodeError->description()));
    auto existing = decodeTheme(*existingBytes);
    if (const auto* decodeError = std::get_if<ThemeError>(&existing))
        return couldNot(QStringLiteral("%1: %2").arg(destination, decodeError->description()));
    const ThemeDefinition& bundledTheme = std::get<ThemeDefinition>(bundled);
    const ThemeDefinition& existingTheme = std::get<ThemeDefinition>(existing);
    if (!isBuiltInIdentity(bundledTheme) || !isBuiltInIdentity(existingTheme)) {
        info(QStringLiteral("Theme %1 already exists and is customized, skipping refresh").arg(fileName));
        return;
    }
    if (compareThemeVersions(existingTheme.version, bundledTheme.version) >= 0) {
        info(QStringLiteral("Theme %1 already exists and is current, skipping refresh").arg(fileName));
        return;
    }
    if (const auto writeError = replaceFileAtomically(destination, *bundledBytes))
        return couldNot(*writeError);
    info(QStringLiteral("Refreshed bundled theme %1 to version %2").arg(fileName, bundledTheme.version));
}

void ThemeManager::loadThemes() {
    setLoading(true);
    info(QStringLiteral("Loading themes from: %1").arg(sources_.themesFolder));
    QList<ThemeDefinition> loaded;
    const QDir folder(sources_.themesFolder);
    if (!QFileInfo(sources_.themesFolder).isDir() || !QFileInfo(sources_.themesFolder).isReadable() ||
        !folder.isReadable()) {
        failure(QStringLiteral("Failed to read themes directory: %1 cannot be listed").arg(sources_.themesFolder));
    } else {
        QStringList names;
        for (const QFileInfo& entry : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (entry.suffix() == QLatin1String("json"))
                names.append(entry.fileName());
        }
        for (const QString& name : sortedFileNames(names)) {
            const QString path = folder.filePath(name);
            auto result = loadThemeFile(path);
            if (auto* theme = std::get_if<ThemeDefinition>(&result)) {
                info(
                    QStringLiteral("Successfully loaded theme: %1 (ID: %2) from %3").arg(theme->name, theme->id, path));
                loaded.append(std::move(*theme));
                continue;
            }
            const ThemeLoadFailure& why = std::get<ThemeLoadFailure>(result);
            failure(QStringLiteral("Failed to load theme from %1: %2").arg(path, why.description));
            if (why.decodingDetails)
                failure(QStringLiteral("Decoding error details: %1").arg(*why.decodingDetails));
        }
    }
    if (loaded.isEmpty()) {
        info(QStringLiteral("No themes loaded, using default theme"));
        loaded.append(builtInTheme());
    }
    availableThemes_ = std::move(loaded);
    info(QStringLiteral("Total themes loaded: %1").arg(availableThemes_.size()));
    emit availableThemesChanged();
    setLoading(false);
}

void ThemeManager::restoreSelection() {
    const std::optional<QString> selected = defaults_.string(kSelectedThemeKey);
    if (!selected)
        return;
    const auto found = std::find_if(availableThemes_.begin(), availableThemes_.end(),
                                    [&](const ThemeDefinition& theme) { return theme.id == *selected; });
    if (found == availableThemes_.end())
        return;
    currentTheme_ = *found;
    info(QStringLiteral("Restored theme: %1").arg(currentTheme_.name));
    emit currentThemeChanged();
}

std::optional<QString> ThemeManager::switchTheme(const QString& id) {
    info(QStringLiteral("Switching theme to: %1").arg(id));
    const auto found = std::find_if(availableThemes_.begin(), availableThemes_.end(),
                                    [&](const ThemeDefinition& theme) { return theme.id == id; });
    if (found == availableThemes_.end()) {
        const QString message = QStringLiteral("Theme not found: %1").arg(id);
        info(message);
        return message;
    }
    try {
        defaults_.set(kSelectedThemeKey, id);
    } catch (const UserDefaultsError& error) {
        const QString message = QStringLiteral("Could not store the theme choice: %1").arg(error.message());
        themeLog().error(message);
        return message;
    }
    currentTheme_ = *found;
    info(QStringLiteral("Theme switched successfully to: %1").arg(currentTheme_.name));
    emit currentThemeChanged();
    return std::nullopt;
}

void ThemeManager::setLoading(bool loading) {
    if (isLoading_ == loading)
        return;
    isLoading_ = loading;
    emit isLoadingChanged(loading);
}

} // namespace pierline
