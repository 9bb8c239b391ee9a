#include "platform/HotkeyRegistrar.h"

#include <atomic>

namespace pierline {
namespace {

std::atomic<HotkeyRegistrar*> g_registrar{nullptr};

} // namespace

HotkeyRegistrar& HotkeyRegistrar::shared() {
    // Never destroyed: hotkeys owned by other process-wide objects unregister during exit.
    static HotkeyRegistrar* const platform = createHotkeyRegistrar().release();
    HotkeyRegistrar* injected = g_registrar.load();
    return injected ? *injected : *platform;
}

void HotkeyRegistrar::setShared(HotkeyRegistrar* registrar) {
    g_registrar.store(registrar);
}

} // namespace pierline
