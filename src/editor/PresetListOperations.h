#pragma once

#include "core/DockPreset.h"
#include "dock/DockReader.h"
#include "platform/Toasts.h"

#include <QList>
#include <QString>
#include <optional>

namespace pierline {

class DockPresetManager;
class DockTarget;

// The operations of the preset list: make a preset (empty or from the dock), preview what the
// dock would give it, and delete presets. Main thread only; results go to the toasts and the log.
class PresetListOperations {
public:
    PresetListOperations(DockPresetManager& manager, DockTarget& target, ToastPresenter& toasts);

    // What a preset made from the dock now would hold; nullopt after showing why there is nothing.
    std::optional<DockReading> previewCurrentDock();
    // The new preset, or null when nothing was made (an empty name, an unreadable dock, a name in
    // use, a failed save).
    DockPresetPtr createPresetFromDialog(const QString& name, bool fromCurrentDock);
    // Deletes `selected` (the confirmation was given); false when nothing was deleted.
    bool deleteSelectedPreset(const DockPresetPtr& selected);
    // The rows at `offsets` of the list in list order; nothing when one is outside it.
    bool deletePresets(const QList<int>& offsets);

private:
    DockPresetManager& manager_;
    DockTarget& target_;
    ToastPresenter& toasts_;
};

} // namespace pierline
