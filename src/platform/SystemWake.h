#pragma once

#include <functional>
#include <memory>

namespace pierline {

// Hears the machine wake from sleep, for as long as it lives. `woke` runs on the main thread.
class WakeMonitor {
public:
    virtual ~WakeMonitor() = default;
};

std::unique_ptr<WakeMonitor> createWakeMonitor(std::function<void()> woke);

} // namespace pierline
