#include "HarborletApplier.h"

#include "core/PierlineIntegration.h"
#include "platform/Log.h"

namespace pierline {

void HarborletApplier::applyHarborletIntegration(const PresetSnapshot& preset, bool integrationEnabled) {
    if (!integrationEnabled) {
        printLine(QStringLiteral("[Pierline] Harborlet integration disabled, skipping"));
        return;
    }
    if (!preset.stored) {
        printLine(
            QStringLiteral("[Pierline] ⚠️ Cannot find preset '%1' for Harborlet integration").arg(preset.name));
        return;
    }
    const std::optional<HarborletConfiguration>& config = preset.harborletConfiguration;
    if (!config) {
        printLine(QStringLiteral("[Pierline] No Harborlet configuration for preset '%1'").arg(preset.name));
        return;
    }
    printLine(QStringLiteral("[Pierline] 📡 Applying Harborlet integration for preset '%1'").arg(preset.name));
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
