#include "PresetListOperations.h"

#include "core/PresetRecord.h"
#include "platform/Log.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "targets/DockTarget.h"

#include <QUuid>

namespace pierline {

PresetListOperations::PresetListOperations(DockPresetManager& manager, DockTarget& target, ToastPresenter& toasts)
    : manager_(manager), target_(target), toasts_(toasts) {}

std::optional<DockReading> PresetListOperations::previewCurrentDock() {
    auto reading = target_.read();
    if (const auto* error = std::get_if<DockReadError>(&reading)) {
        printWarning(
            QStringLiteral("Failed to preview current dock while creating preset: %1").arg(error->description()));
        toasts_.showToast({error->userMessage(), false});
        return std::nullopt;
    }
    DockReading& dock = std::get<DockReading>(reading);
    if (dock.apps.isEmpty() && dock.items.isEmpty())
        toasts_.showToast(
            {QStringLiteral("No pinned Dock items were found. This preset will be created empty."), true});
    return std::move(dock);
}

DockPresetPtr PresetListOperations::createPresetFromDialog(const QString& name, bool fromCurrentDock) {
    if (name.isEmpty())
        return nullptr;
    DockReading dock;
    if (fromCurrentDock) {
        auto reading = target_.read();
        if (const auto* error = std::get_if<DockReadError>(&reading)) {
            printWarning(
                QStringLiteral("Failed to read current dock while creating preset: %1").arg(error->description()));
            toasts_.showToast({error->userMessage(), false});
            return nullptr;
        }
        dock = std::get<DockReading>(std::move(reading));
    }
    QStringList unknownTypes;
    const QList<DockFolderStackValues> items = storedItemsFromDock(dock.items, StoredItemKinds::All, &unknownTypes);
    for (const QString& type : unknownTypes)
        printWarning(QStringLiteral("Unknown tile type: %1").arg(type));
    const QString apps = fromCurrentDock ? encodeApps(dock.apps) : QStringLiteral("[]");
    // The preset and its items are one save: a failure leaves neither.
    const DockPresetPtr preset = manager_.createPreset(name, apps, items, QStringLiteral("Failed to save preset"));
    if (!preset)
        return nullptr;
    if (fromCurrentDock && dock.apps.isEmpty() && items.isEmpty())
        toasts_.showToast({QStringLiteral("Preset created with no pinned Dock items copied."), true});
    return preset;
}

bool PresetListOperations::deleteSelectedPreset(const DockPresetPtr& selected) {
    if (!selected) {
        printWarning(QStringLiteral("Error: No preset selected for deletion"));
        return false;
    }
    ManagedObjectContext& context = manager_.context();
    if (!selected->id()) {
        selected->setId(QUuid::createUuid());
        try {
            context.save();
        } catch (const StoreError& error) {
            printWarning(
                QStringLiteral("Failed to save preset with new ID before deletion: %1").arg(error.description()));
            // Without an identifier the manager cannot find it: it goes straight from the store.
            context.rollback();
            context.deleteObject(selected);
            try {
                context.save();
            } catch (const StoreError& again) {
                printWarning(QStringLiteral("Error deleting preset: %1").arg(again.description()));
                context.rollback();
                return false;
            }
            return true;
        }
    }
    if (!manager_.deletePreset(*selected->id())) {
        printWarning(QStringLiteral("Failed to delete preset via DockPresetManager: %1")
                         .arg(selected->name().value_or(QStringLiteral("Unknown"))));
        return false;
    }
    return true;
}

bool PresetListOperations::deletePresets(const QList<int>& offsets) {
    const QList<DockPresetPtr> presets = manager_.fetchAllPresets();
    for (int offset : offsets) {
        if (offset < 0 || offset >= presets.size()) {
            printWarning(QStringLiteral("Warning: Invalid indices in deletePreset"));
            return false;
        }
    }
    bool all = true;
    for (int offset : offsets) {
        const DockPresetPtr& preset = presets[offset];
        if (!preset->id() || !manager_.deletePreset(*preset->id())) {
            printWarning(QStringLiteral("Failed to delete preset via DockPresetManager during swipe: %1")
                             .arg(preset->name().value_or(QString())));
            all = false;
        }
    }
    return all;
}

} // namespace pierline
