#include "HarborletApplier.h"

#include "core/PierlineIntegration.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"

namespace pierline {

void HarborletApplier::applyHarborletIntegration(const QString& presetName) {
    if (!UserDefaults::standard().boolValue(QStringLiteral("integrateWithHarborlet")).value_or(false)) {
        printLine(QStringLiteral("[Pierline] Harborlet integration disabled, skipping"));
        return;
    }
    bool found = false;
    std::optional<HarborletConfiguration> config;
    runOnMainSync([&] {
        const DockPresetPtr preset = DockPresetManager::shared().fetchPreset(presetName);
        found = preset != nullptr;
        if (preset)
            config = preset->harborletConfiguration();
    });
    if (!found) {
        printLine(
            QStringLiteral("[Pierline] ⚠️ Cannot find preset '%1' for Harborlet integration").arg(presetName));
        return;
    }
    if (!config) {
        printLine(QStringLiteral("[Pierline] No Harborlet configuration for preset '%1'").arg(presetName));
        return;
    }
    printLine(QStringLiteral("[Pierline] 📡 Applying Harborlet integration for preset '%1'").arg(presetName));
    printLine(QStringLiteral("[Pierline] - Showing %1 dock(s)").arg(config->visibleDockIds.size()));
    printLine(QStringLiteral("[Pierline] - Hiding %1 dock(s)").arg(config->hiddenDockIds.size()));
    PierlineIntegration& integration = PierlineIntegration::shared();
    for (const QString& id : config->hiddenDockIds)
        integration.hideDock(id);
    for (const QString& id : config->visibleDockIds)
        integration.showDock(id);
    printLine(QStringLiteral("[Pierline] ✅ Harborlet integration commands sent"));
}

} // namespace pierline
