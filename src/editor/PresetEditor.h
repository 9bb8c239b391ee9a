#pragma once

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"
#include "platform/Clock.h"
#include "platform/Toasts.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

namespace pierline {

class DockPresetManager;
class DockTarget;

// Which right-hand items the editor shows.
enum class DockItemFilter { All, Folders, Files, Urls };
// "all", "folders", "files", "urls"; nullopt for anything else.
std::optional<DockItemFilter> dockItemFilterNamed(const QString& name);
// "Folders", "Files", "URLs" (and "All").
QString dockItemFilterLabel(DockItemFilter filter);

// What to do when a custom spacer leaves the app list.
enum class CustomSpacerChoice { RemoveFromPresetOnly, DeleteAppFileToo, Cancel };

// A right-hand row's settings: "Stack • Fan • Date Added"; unset values read "Folder", "Grid", "Name".
QString itemRowText(const DockFolderStack& item);

// A new folder stack's settings.
struct FolderSettings {
    QString displayAs = QStringLiteral("folder");
    QString showAs = QStringLiteral("grid");
    QString sortOrder = QStringLiteral("name");
};

// Edits one preset: a working copy of its app list, its right-hand items in place in the store,
// and a toast for every outcome. Main thread only. Each operation returns whether it did what it
// was asked; a refusal shows an error toast and changes nothing.
class PresetEditor {
public:
    PresetEditor(DockPresetManager& manager, DockPresetPtr preset, DockTarget& target, ToastPresenter& toasts,
                 Timers& timers = Timers::shared());
    ~PresetEditor();
    PresetEditor(const PresetEditor&) = delete;
    PresetEditor& operator=(const PresetEditor&) = delete;

    const DockPresetPtr& preset() const { return preset_; }
    const QStringList& apps() const { return apps_; }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }

    DockItemFilter filter() const { return filter_; }
    void setFilter(DockItemFilter filter) { filter_ = filter; }
    // The right-hand items as shown under the filter, in order.
    QList<DockFolderStackPtr> shownItems() const;
    QList<DockFolderStackPtr> itemsOfType(const QString& type) const;

    // A drop or a file-panel pick on the app list; `at` outside 0..count appends.
    bool addApplication(const QUrl& url, std::optional<int> at = std::nullopt);
    // Append a spacer entry; the list is written to the preset half a second later.
    void addSpacer();
    void addSmallSpacer();
    // The custom spacer wizard's bundle, appended as an app entry.
    bool addCustomSpacer(const QUrl& bundle);

    bool addFolder(const QUrl& url, std::optional<int> at = std::nullopt, const FolderSettings& settings = {});
    bool addFile(const QUrl& url, std::optional<int> at = std::nullopt,
                 const std::optional<QString>& label = std::nullopt);
    bool addURL(const QString& text, const QString& label);

    // Indices of the app list; false, removing nothing, when one is outside it. `choose` answers for a custom spacer
    // among them (none: remove from the preset only).
    using SpacerQuestion = std::function<CustomSpacerChoice(const QString& entry)>;
    bool deleteApps(const QList<int>& indices, const SpacerQuestion& choose = {});
    // Deletes a custom spacer's app file for "delete the app file too"; the error text, or nothing
    // when it went. Without one that choice is refused.
    using SpacerFileRemover = std::function<std::optional<QString>(const QString& entry)>;
    void setSpacerFileRemover(SpacerFileRemover remover) { spacerFileRemover_ = std::move(remover); }
    // Indices of the shown list, and of the web links.
    bool deleteDockItems(const QList<int>& indices);
    bool deleteURLs(const QList<int>& indices);
    // Positions in the full list; `to` counts the positions before the move.
    bool moveDockItem(int from, int to);
    bool updateItemSettings(const DockFolderStackPtr& item, const QString& displayAs, const QString& showAs,
                            const QString& sortOrder);
    // Replaces apps and items with what the dock holds now (the caller has asked first).
    bool updateFromCurrentDock();
    bool save();

    // A spacer's write or a reload still waits on the timers.
    bool hasPendingWork() const { return pendingWrite_ != 0 || pendingReload_ != 0; }
    // The last delayed write's store failure, nullopt when it saved.
    const std::optional<QString>& delayedWriteError() const { return delayedWriteError_; }

private:
    SpacerFileRemover spacerFileRemover_;
    bool addLocalItem(const QString& kind, const QUrl& url, std::optional<int> at,
                      const std::function<DockFolderStackPtr(const QString& text)>& add);
    bool deleteItems(const QList<DockFolderStackPtr>& shown, const QList<int>& indices, const QString& warning);
    void appendSpacer(const QString& marker, const QString& prefix);
    void scheduleListWrite();
    void scheduleReload();
    // The working list as stored: spacer markers kept, existing paths as standardised file URLs.
    QStringList normalizedApps() const;
    void toast(const QString& message, bool success);

    DockPresetManager& manager_;
    DockPresetPtr preset_;
    DockTarget& target_;
    ToastPresenter& toasts_;
    Timers& timers_;
    QStringList apps_;
    QString name_;
    DockItemFilter filter_ = DockItemFilter::All;
    QList<DockFolderStackPtr> items_; // reloaded after deletions
    TimerId pendingWrite_ = 0;
    TimerId pendingReload_ = 0;
    std::optional<QString> delayedWriteError_;
};

} // namespace pierline
