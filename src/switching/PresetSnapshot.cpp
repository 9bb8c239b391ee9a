#include "PresetSnapshot.h"

#include "core/DockPreset.h"
#include "core/PresetRecord.h"
#include "switching/ActionManager.h"

namespace pierline {

PresetSnapshot PresetSnapshot::of(const DockPreset& preset) {
    PresetSnapshot snapshot;
    snapshot.name = preset.name().value_or(QString());
    snapshot.stored = true;
    snapshot.id = preset.id();
    snapshot.apps = decodeApps(preset.apps());
    for (const DockFolderStackPtr& item : preset.folderStacksArray())
        snapshot.items.append(item->values());
    snapshot.harborletOnlyMode = preset.harborletOnlyMode();
    snapshot.appActions = ActionManager::decodeActions(preset.appActions());
    snapshot.harborletConfiguration = preset.harborletConfiguration();
    return snapshot;
}

} // namespace pierline
