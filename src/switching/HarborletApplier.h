#pragma once

#include <QString>

namespace pierline {

// Shows and hides the companion's docks as the applied preset asks: hidden first, then shown,
// so a dock listed in both ends up shown.
class HarborletApplier {
public:
    // Synchronous; the preset is read on the main thread, the commands go out on this thread.
    static void applyHarborletIntegration(const QString& presetName);
};

} // namespace pierline
