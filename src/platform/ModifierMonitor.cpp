#include "platform/ModifierMonitor.h"

#include <atomic>

namespace pierline {
namespace {

std::atomic<ModifierMonitor*> g_monitor{nullptr};

} // namespace

ModifierMonitor& ModifierMonitor::shared() {
    // Never destroyed, like the registrar: handlers may be removed during exit.
    static ModifierMonitor* const platform = createModifierMonitor().release();
    ModifierMonitor* injected = g_monitor.load();
    return injected ? *injected : *platform;
}

void ModifierMonitor::setShared(ModifierMonitor* monitor) {
    g_monitor.store(monitor);
}

} // namespace pierline
