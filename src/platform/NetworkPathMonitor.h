#pragma once

#include <functional>
#include <memory>

namespace pierline {

// Watches the network path (diagnostics only; nothing depends on it).
class NetworkPathMonitor {
public:
    struct Path {
        bool satisfied = true; // a usable route exists
    };

    virtual ~NetworkPathMonitor() = default;
    // Starts reporting; `onUpdate` runs on the thread the platform delivers on, once per change.
    // False when the platform has no way to watch the network.
    virtual bool start(std::function<void(const Path&)> onUpdate) = 0;
    virtual void cancel() = 0;
};

// The platform's monitor.
std::unique_ptr<NetworkPathMonitor> createNetworkPathMonitor();

} // namespace pierline
