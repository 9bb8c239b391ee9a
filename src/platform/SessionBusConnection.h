#pragma once

#include "platform/SessionBus.h"

#include <QDBusConnection>
#include <optional>

namespace pierline {

// The session bus for code that uses QtDBus itself (the desktop module, the app's tray and
// intents), or nullopt when the session has none. Nothing asks QDBusConnection::sessionBus()
// without this: with no bus address but a display, libdbus starts a bus of its own through X11
// (dbus-launch), which outlives us and holds the caller while it starts.
inline std::optional<QDBusConnection> sessionBusConnection() {
    if (!hasSessionBus())
        return std::nullopt;
    return QDBusConnection::sessionBus();
}

} // namespace pierline
