#pragma once

#include "platform/ContextWatchers.h"
#include "platform/HotkeyRegistrar.h"
#include "platform/KeyboardRecorder.h"
#include "platform/ModifierMonitor.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>

namespace pierline::x11 {

// Everything that talks to the X server lives in one module, libpierline-x11.so beside the tools,
// loaded on first use: a process that never needs the display never maps Xlib or xcb. The
// platform factories call through this table; without the module they answer as with no display.
struct Backend {
    quint32 version; // kBackendVersion of the module that filled the table
    std::unique_ptr<HotkeyRegistrar> (*createHotkeyRegistrar)();
    std::unique_ptr<ModifierMonitor> (*createModifierMonitor)();
    std::unique_ptr<KeyboardRecorder> (*createKeyboardRecorder)();
    std::unique_ptr<WorkspaceWatcher> (*createWorkspaceWatcher)();
    // Whether a connection to $DISPLAY opens.
    bool (*displayOpens)();
    // WM_CLASS names of the windows the window manager lists, by the pid each gives; `answered`
    // false when there is no display or no window list.
    QHash<qint64, QStringList> (*windowClassesByPid)(bool* answered);
    bool (*setSkipTaskbar)(quintptr nativeWindow, bool skip, QString* error);
};

// Bumped whenever the table changes, so a stale module is refused rather than called.
inline constexpr quint32 kBackendVersion = 1;
inline constexpr char kModuleFileName[] = "libpierline-x11.so";
// extern "C" const Backend* pierlineX11Backend(): the module's one exported entry.
inline constexpr char kBackendEntry[] = "pierlineX11Backend";

// The module's table, loaded once per process (any thread); nullptr when the module cannot be
// loaded, and then unavailableReason() says why ("Cannot load PATH: reason"), logged once.
const Backend* backend();
QString unavailableReason();

// The module's own implementations, which fill the table.
std::unique_ptr<HotkeyRegistrar> createHotkeyRegistrar();
std::unique_ptr<ModifierMonitor> createModifierMonitor();
std::unique_ptr<KeyboardRecorder> createKeyboardRecorder();
std::unique_ptr<WorkspaceWatcher> createWorkspaceWatcher();
QHash<qint64, QStringList> windowClassesByPid(bool* answered);
bool setSkipTaskbar(quintptr nativeWindow, bool skip, QString* error);

} // namespace pierline::x11
