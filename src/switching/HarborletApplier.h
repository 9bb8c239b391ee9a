#pragma once

#include "PresetSnapshot.h"

namespace pierline {

// Shows and hides the companion's docks as the applied preset asks: hidden first, then shown,
// so a dock listed in both ends up shown.
class HarborletApplier {
public:
    // Synchronous; the commands go out on this thread. `integrationEnabled` is the user's
    // setting, read by the caller.
    static void applyHarborletIntegration(const PresetSnapshot& preset, bool integrationEnabled);
};

} // namespace pierline
