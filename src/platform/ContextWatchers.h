#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace pierline {

// Each watcher follows one part of the desktop's context without polling. start() begins
// watching and reports every change through `changed`, on the main thread; it gives the reason
// when the source is missing (no X server, no NetworkManager, ...). current() is what the source
// says now, nullopt while it says nothing.

class WorkspaceWatcher {
public:
    struct Workspace {
        int index = 0;
        QString name; // empty when the desktop names none
    };
    virtual ~WorkspaceWatcher() = default;
    virtual std::optional<QString> start(std::function<void()> changed) = 0;
    virtual std::optional<Workspace> current() const = 0;
};

// The desktop's Do Not Disturb: true while notifications are held back.
class DoNotDisturbWatcher {
public:
    virtual ~DoNotDisturbWatcher() = default;
    virtual std::optional<QString> start(std::function<void()> changed) = 0;
    virtual std::optional<bool> current() const = 0;
};

// The connector names of the connected outputs (HDMI-1, eDP-1), as the screens report them.
class DisplaySetWatcher {
public:
    virtual ~DisplaySetWatcher() = default;
    virtual std::optional<QString> start(std::function<void()> changed) = 0;
    virtual std::optional<QStringList> current() const = 0;
};

// The names of the active network connections; none means offline.
class NetworkWatcher {
public:
    virtual ~NetworkWatcher() = default;
    virtual std::optional<QString> start(std::function<void()> changed) = 0;
    virtual std::optional<QStringList> current() const = 0;
};

// The platform's watchers. The screens are Qt's, so the display set comes from the app's
// widget layer; without it, this one says why it cannot watch.
std::unique_ptr<WorkspaceWatcher> createWorkspaceWatcher();
std::unique_ptr<DoNotDisturbWatcher> createDoNotDisturbWatcher();
std::unique_ptr<NetworkWatcher> createNetworkWatcher();
std::unique_ptr<DisplaySetWatcher> createHeadlessDisplaySetWatcher();

} // namespace pierline
