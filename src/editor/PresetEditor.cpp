#include "PresetEditor.h"

#include "core/CustomSpaceLocation.h"
#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "platform/Log.h"
#include "platform/Url.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "switching/ActionManager.h"
#include "switching/AppNoteManager.h"
#include "targets/DockTarget.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace pierline {
namespace {

constexpr double kSpacerWriteDelaySeconds = 0.5;
constexpr double kReloadDelaySeconds = 0.35;

const QString kPlainSpacer = QStringLiteral("pierline-spacer");
const QString kPlainSmallSpacer = QStringLiteral("pierline-small-spacer");

QString filterType(DockItemFilter filter) {
    switch (filter) {
    case DockItemFilter::Folders:
        return QStringLiteral("folder");
    case DockItemFilter::Files:
        return QStringLiteral("file");
    case DockItemFilter::Urls:
        return QStringLiteral("url");
    case DockItemFilter::All:
        break;
    }
    return {};
}

// "date added" -> "Date Added".
QString capitalizedWords(const QString& text) {
    QStringList words = text.split(QLatin1Char(' '));
    for (QString& word : words)
        if (!word.isEmpty())
            word[0] = word[0].toUpper();
    return words.join(QLatin1Char(' '));
}

// The path a location names, as compared between items: decoded, cleaned, no trailing "/".
QString comparablePath(const QString& location) {
    return QDir::cleanPath(filePathOfLocation(location).value_or(location));
}

qint16 order16(qsizetype index) {
    return static_cast<qint16>(std::clamp<qsizetype>(index, 0, 32767));
}

} // namespace

std::optional<DockItemFilter> dockItemFilterNamed(const QString& name) {
    if (name == QLatin1String("all"))
        return DockItemFilter::All;
    if (name == QLatin1String("folders"))
        return DockItemFilter::Folders;
    if (name == QLatin1String("files"))
        return DockItemFilter::Files;
    if (name == QLatin1String("urls"))
        return DockItemFilter::Urls;
    return std::nullopt;
}

QString dockItemFilterLabel(DockItemFilter filter) {
    switch (filter) {
    case DockItemFilter::Folders:
        return QStringLiteral("Folders");
    case DockItemFilter::Files:
        return QStringLiteral("Files");
    case DockItemFilter::Urls:
        return QStringLiteral("URLs");
    case DockItemFilter::All:
        break;
    }
    return QStringLiteral("All");
}

QString itemRowText(const DockFolderStack& item) {
    const auto shown = [](const QString& value, const char* unset) {
        return value.isEmpty() ? QString::fromLatin1(unset) : capitalizedWords(value);
    };
    return QStringList{shown(item.displayAs(), "Folder"), shown(item.showAs(), "Grid"), shown(item.sortOrder(), "Name")}
        .join(QStringLiteral(" • "));
}

PresetEditor::PresetEditor(DockPresetManager& manager, DockPresetPtr preset, DockTarget& target, ToastPresenter& toasts,
                           Timers& timers)
    : manager_(manager), preset_(std::move(preset)), target_(target), toasts_(toasts), timers_(timers) {
    apps_ = decodeApps(preset_->apps());
    name_ = preset_->name().value_or(QString());
    items_ = preset_->folderStacksArray();
}

PresetEditor::~PresetEditor() {
    // Callers that need the spacer write wait for it (hasPendingWork); the timers must not call
    // into an editor that is gone.
    if (pendingWrite_)
        timers_.cancel(pendingWrite_);
    if (pendingReload_)
        timers_.cancel(pendingReload_);
}

QList<DockFolderStackPtr> PresetEditor::shownItems() const {
    if (filter_ == DockItemFilter::All)
        return items_;
    return itemsOfType(filterType(filter_));
}

QList<DockFolderStackPtr> PresetEditor::itemsOfType(const QString& type) const {
    QList<DockFolderStackPtr> out;
    for (const DockFolderStackPtr& item : items_)
        if (item->effectiveType() == type)
            out.append(item);
    return out;
}

void PresetEditor::toast(const QString& message, bool success) {
    toasts_.showToast(Toast{message, success});
}

// --- The app list ------------------------------------------------------------------------

bool PresetEditor::addApplication(const QUrl& url, std::optional<int> at) {
    const bool desktopFiles = target_.appKind() == DockAppKind::DesktopFile;
    const QString extension = desktopFiles ? QStringLiteral("desktop") : QStringLiteral("app");
    const QString path = url.isLocalFile() ? decodedPath(url) : QString();
    if (!url.isLocalFile() || QFileInfo(withoutTrailingSlashes(path)).suffix() != extension) {
        QString message = QStringLiteral("Only applications (.app) can be added here.");
        if (desktopFiles)
            message += QStringLiteral(" (on %1 an app is a desktop file)").arg(target_.displayName());
        toast(message, false);
        return false;
    }
    const QString clean = QDir::cleanPath(path);
    const QString entry = fileUrlFromPath(clean, !desktopFiles).toString(QUrl::FullyEncoded);
    const QString wanted = normalizedAppEntry(entry);
    for (const QString& existing : std::as_const(apps_)) {
        if (existing == entry || normalizedAppEntry(existing) == wanted) {
            toast(QStringLiteral("This application is already in the preset"), false);
            return false;
        }
    }
    const QFileInfo info(clean);
    // A bundle is a folder; a desktop file is a file.
    if (!info.exists() || info.isDir() == desktopFiles || info.suffix() != extension) {
        toast(QStringLiteral("Invalid application path"), false);
        return false;
    }
    if (at && *at >= 0 && *at <= apps_.size())
        apps_.insert(*at, entry);
    else
        apps_.append(entry);
    toast(QStringLiteral("%1 added successfully").arg(appDisplayName(entry)), true);
    return true;
}

void PresetEditor::appendSpacer(const QString& marker, const QString& prefix) {
    // Counts, not the highest number: names may repeat after deletions, as they always have.
    const auto count = std::count_if(apps_.begin(), apps_.end(), [&](const QString& e) { return e.contains(marker); });
    const QString entry = prefix + QString::number(count);
    apps_.append(entry);
    toast(QStringLiteral("%1 added successfully").arg(appDisplayName(entry)), true);
    scheduleListWrite();
}

void PresetEditor::addSpacer() {
    appendSpacer(kPlainSpacer, kSpacerPrefix);
}

void PresetEditor::addSmallSpacer() {
    appendSpacer(kPlainSmallSpacer, kSmallSpacerPrefix);
}

bool PresetEditor::addCustomSpacer(const QUrl& bundle) {
    const auto path = bundle.isLocalFile() ? customSpaceBundlePath(decodedPath(bundle)) : std::nullopt;
    if (!path) {
        toast(QStringLiteral("Not a custom spacer of this home"), false);
        return false;
    }
    if (!QFileInfo(*path).isDir()) {
        toast(QStringLiteral("Invalid application path"), false);
        return false;
    }
    const QString entry = fileUrlFromPath(*path, true).toString(QUrl::FullyEncoded);
    apps_.append(entry);
    toast(QStringLiteral("%1 added successfully").arg(appDisplayName(entry)), true);
    return true;
}

void PresetEditor::scheduleListWrite() {
    if (pendingWrite_)
        timers_.cancel(pendingWrite_);
    pendingWrite_ = timers_.schedule(kSpacerWriteDelaySeconds, false, [this] {
        pendingWrite_ = 0;
        preset_->setApps(encodeApps(normalizedApps()));
        try {
            manager_.context().save();
            delayedWriteError_.reset();
        } catch (const StoreError& error) {
            printWarning(QStringLiteral("Error saving context during transaction: %1").arg(error.description()));
            manager_.context().rollback();
            delayedWriteError_ = error.description();
        }
    });
}

bool PresetEditor::deleteApps(const QList<int>& indices, const SpacerQuestion& choose) {
    for (int index : indices)
        if (index < 0 || index >= apps_.size())
            return false;
    // Every question is answered before any file goes, so a Cancel deletes nothing.
    QStringList filesToDelete;
    for (int index : indices) {
        if (!isCustomSpaceEntry(apps_[index]))
            continue;
        const CustomSpacerChoice choice = choose ? choose(apps_[index]) : CustomSpacerChoice::RemoveFromPresetOnly;
        if (choice == CustomSpacerChoice::Cancel)
            return false;
        if (choice == CustomSpacerChoice::DeleteAppFileToo && !filesToDelete.contains(apps_[index]))
            filesToDelete.append(apps_[index]);
    }
    if (!filesToDelete.isEmpty() && !spacerFileRemover_) {
        toast(QStringLiteral("Deleting a custom spacer's app file is not available here"), false);
        return false;
    }
    for (const QString& entry : filesToDelete) {
        if (const auto error = spacerFileRemover_(entry)) {
            toast(*error, false);
            return false;
        }
    }
    QList<int> sorted = indices;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it)
        apps_.removeAt(*it);
    return true;
}

QStringList PresetEditor::normalizedApps() const {
    QStringList out;
    for (const QString& entry : apps_) {
        if (entry == kPlainSpacer || entry == kPlainSmallSpacer) {
            out.append(entry);
            continue;
        }
        const auto url = parseUrl(entry);
        if (url && url->isLocalFile()) {
            const QString path = decodedPath(*url);
            const QFileInfo info(path);
            if (info.exists()) {
                out.append(fileUrlFromPath(QDir::cleanPath(path), info.isDir()).toString(QUrl::FullyEncoded));
                continue;
            }
        }
        out.append(entry);
    }
    return out;
}

bool PresetEditor::save() {
    ManagedObjectContext& context = manager_.context();
    if (pendingWrite_) {
        // save() writes the same list now.
        timers_.cancel(pendingWrite_);
        pendingWrite_ = 0;
    }
    try {
        preset_->setName(name_);
        const QStringList apps = normalizedApps();
        preset_->setApps(encodeApps(apps));
        apps_ = apps;
        ActionManager::shared().cleanupOrphanedActions(*preset_, apps, context);
        AppNoteManager::shared().cleanupOrphanedNotes(*preset_, apps, context);
        context.save();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error saving context during transaction: %1").arg(error.description()));
        context.rollback();
        apps_ = decodeApps(preset_->apps());
        return false;
    }
    const QList<DockFolderStackPtr> items = preset_->folderStacksArray();
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i]->setOrder(order16(i));
    try {
        context.save();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error saving dock items order: %1").arg(error.description()));
        context.rollback();
        return false;
    }
    toast(QStringLiteral("Dock Saved"), true);
    return true;
}

// --- Right-hand items --------------------------------------------------------------------

bool PresetEditor::addLocalItem(const QString& kind, const QUrl& url, std::optional<int> at,
                                const std::function<DockFolderStackPtr(const QString& text)>& add) {
    const bool folder = kind == QLatin1String("folder");
    const QString path = QDir::cleanPath(decodedPath(url));
    const QFileInfo info(path);
    const QString text = fileUrlFromPath(path, folder).toString(QUrl::FullyEncoded);
    for (const DockFolderStackPtr& item : std::as_const(items_)) {
        if (item->effectiveType() == kind && comparablePath(item->path().value_or(QString())) == path) {
            toast(QStringLiteral("This %1 is already in the preset").arg(kind), false);
            return false;
        }
    }
    if (!url.isLocalFile() || !info.exists()) {
        toast(QStringLiteral("Item does not exist"), false);
        return false;
    }
    if (info.isDir() != folder) {
        toast(folder ? QStringLiteral("Not a folder: %1").arg(path) : QStringLiteral("Not a file: %1").arg(path),
              false);
        return false;
    }
    const bool filtered = filter_ != DockItemFilter::All;
    try {
        // The item and its move are kept together or not at all.
        ManagedObjectContext::WriteLock lock(manager_.context());
        add(text);
        const qsizetype count = preset_->folderStacksArray().size();
        if (!filtered && at && *at >= 0 && *at < count)
            manager_.reorderDockItems(preset_, {static_cast<int>(count - 1)}, *at);
        lock.commit();
        items_ = preset_->folderStacksArray();
    } catch (const StoreError& error) {
        toast(QStringLiteral("Failed to add %1: %2").arg(kind, error.description()), false);
        items_ = preset_->folderStacksArray();
        return false;
    }
    if (filtered)
        toast(QStringLiteral("Item added to end. Clear filter to reorder."), true);
    toast(QStringLiteral("%1 added successfully").arg(lastPathComponent(path)), true);
    return true;
}

bool PresetEditor::addFolder(const QUrl& url, std::optional<int> at, const FolderSettings& settings) {
    return addLocalItem(QStringLiteral("folder"), url, at, [&](const QString& text) {
        return manager_.addFolderStack(preset_, text, settings.displayAs, settings.showAs, settings.sortOrder);
    });
}

bool PresetEditor::addFile(const QUrl& url, std::optional<int> at, const std::optional<QString>& label) {
    return addLocalItem(QStringLiteral("file"), url, at,
                        [&](const QString& text) { return manager_.addFile(preset_, text, label); });
}

bool PresetEditor::addURL(const QString& text, const QString& label) {
    if (text.isEmpty() || label.isEmpty()) {
        toast(QStringLiteral("URL and label are required"), false);
        return false;
    }
    const auto url = parseUrl(text);
    if (!url || url->scheme().isEmpty()) {
        toast(QStringLiteral("Invalid URL"), false);
        return false;
    }
    try {
        manager_.addURL(preset_, text, label);
    } catch (const StoreError& error) {
        toast(QStringLiteral("Failed to add link: %1").arg(error.description()), false);
        return false;
    }
    items_ = preset_->folderStacksArray();
    toast(QStringLiteral("%1 added successfully").arg(label), true);
    return true;
}

bool PresetEditor::deleteItems(const QList<DockFolderStackPtr>& shown, const QList<int>& indices,
                               const QString& warning) {
    for (int index : indices) {
        if (index < 0 || index >= shown.size()) {
            printWarning(warning);
            return false;
        }
    }
    ManagedObjectContext& context = manager_.context();
    for (int index : indices) {
        context.deleteObject(shown[index]);
        items_.removeAll(shown[index]); // the rows leave at once; the reload reads the store again
    }
    const QList<DockFolderStackPtr> remaining = preset_->folderStacksArray();
    for (qsizetype i = 0; i < remaining.size(); ++i)
        remaining[i]->setOrder(order16(i));
    try {
        context.save();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error removing folder stack: %1").arg(error.description()));
        context.rollback();
        items_ = preset_->folderStacksArray();
        return false;
    }
    scheduleReload();
    return true;
}

bool PresetEditor::deleteDockItems(const QList<int>& indices) {
    return deleteItems(shownItems(), indices, QStringLiteral("Warning: Invalid indices in deleteDockItem"));
}

bool PresetEditor::deleteURLs(const QList<int>& indices) {
    return deleteItems(itemsOfType(QStringLiteral("url")), indices,
                       QStringLiteral("Warning: Invalid indices in deleteURL"));
}

void PresetEditor::scheduleReload() {
    if (pendingReload_)
        timers_.cancel(pendingReload_);
    pendingReload_ = timers_.schedule(kReloadDelaySeconds, false, [this] {
        pendingReload_ = 0;
        items_ = preset_->folderStacksArray();
    });
}

bool PresetEditor::moveDockItem(int from, int to) {
    try {
        manager_.reorderDockItems(preset_, {from}, to);
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Error saving dock item reorder: %1").arg(error.description()));
        return false;
    }
    items_ = preset_->folderStacksArray();
    return true;
}

bool PresetEditor::updateItemSettings(const DockFolderStackPtr& item, const QString& displayAs, const QString& showAs,
                                      const QString& sortOrder) {
    try {
        manager_.updateFolderStack(item, displayAs, showAs, sortOrder);
    } catch (const StoreError& error) {
        toast(QStringLiteral("Failed to update item settings: %1").arg(error.description()), false);
        return false;
    }
    toast(QStringLiteral("%1 settings updated successfully").arg(lastPathComponent(item->path().value_or(QString()))),
          true);
    return true;
}

bool PresetEditor::updateFromCurrentDock() {
    const auto reading = target_.read();
    if (const auto* error = std::get_if<DockReadError>(&reading)) {
        toast(error->userMessage(), false);
        printWarning(error->description());
        return false;
    }
    const DockReading& dock = std::get<DockReading>(reading);
    if (dock.apps.isEmpty() && dock.items.isEmpty()) {
        toast(QStringLiteral("No pinned Dock items found. Running apps that are not pinned are not included."), false);
        return false;
    }
    ManagedObjectContext& context = manager_.context();
    std::optional<QString> failure;
    try {
        // Apps and items change together or not at all.
        ManagedObjectContext::WriteLock lock(context);
        failure =
            manager_.saveDockIntoPreset(preset_, dock, {}, DockPresetManager::RemovalFailure::StopAtFailedRemoval);
        if (!failure)
            lock.commit();
        else
            lock.rollback();
    } catch (const StoreError& error) {
        failure = error.description();
    }
    if (failure) {
        context.rollback();
        apps_ = decodeApps(preset_->apps());
        items_ = preset_->folderStacksArray();
        toast(QStringLiteral("Failed to update preset from current dock: %1").arg(*failure), false);
        return false;
    }
    apps_ = dock.apps;
    items_ = preset_->folderStacksArray();
    toast(QStringLiteral("Preset updated from current dock"), true);
    return true;
}

} // namespace pierline
