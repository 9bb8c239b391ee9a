#pragma once

#include "platform/ContextWatchers.h"
#include "platform/HttpExchange.h"
#include "platform/NetworkPathMonitor.h"
#include "platform/SessionBus.h"
#include "platform/SystemWake.h"
#include "platform/UserNotifications.h"
#include "platform/linux/GSettings.h"
#include "platform/linux/LinuxDesktopApps.h"

#include <QtGlobal>
#include <functional>
#include <memory>

namespace pierline::desktop {

// Everything that talks to the desktop session through GIO, D-Bus and QtNetwork (GSettings,
// launching desktop apps, notifications, Do Not Disturb, the network, sleep and wake, calls on
// the session bus, HTTP exchanges) lives in one module, libpierline-desktop.so beside the tools,
// loaded on first use: a command that reads the store or the emulated Dock never maps GIO, QtDBus
// or QtNetwork. The platform functions call through this table; without the module they fail
// with its reason.
struct Backend {
    quint32 version; // kBackendVersion of the module that filled the table
    std::optional<QString> (*gsettingsProblem)(const GSettingsKey&);
    std::optional<QString> (*gsettingsWriteProblem)(const GSettingsKey&);
    QStringList (*readGSettingsList)(const GSettingsKey&);
    void (*writeGSettingsList)(const GSettingsKey&, const QStringList&);
    QString (*readGSettingsString)(const GSettingsKey&);
    bool (*readGSettingsBoolean)(const GSettingsKey&);
    void (*writeGSettingsString)(const GSettingsKey&, const QString&);
    void (*resetGSettingsKey)(const GSettingsKey&);
    std::unique_ptr<GSettingsWatch> (*watchGSettingsKey)(const GSettingsKey&, std::function<void()>);
    std::unique_ptr<DesktopApps> (*createDesktopApps)(ProcessScope);
    std::unique_ptr<UserNotifications> (*createUserNotifications)();
    std::unique_ptr<DoNotDisturbWatcher> (*createDoNotDisturbWatcher)();
    std::unique_ptr<NetworkWatcher> (*createNetworkWatcher)();
    std::unique_ptr<WakeMonitor> (*createWakeMonitor)(std::function<void()>);
    std::optional<QVariant> (*callSessionBus)(const SessionBusCall&);
    std::unique_ptr<NetworkPathMonitor> (*createNetworkPathMonitor)();
    std::variant<QByteArray, HttpFailure> (*exchangeHttp)(const HttpRequest&);
};

// Bumped whenever the table changes, so a stale module is refused rather than called.
inline constexpr quint32 kBackendVersion = 1;
inline constexpr char kModuleFileName[] = "libpierline-desktop.so";
// extern "C" const Backend* pierlineDesktopBackend(): the module's one exported entry.
inline constexpr char kBackendEntry[] = "pierlineDesktopBackend";

// The module's table, loaded once per process (any thread); nullptr when it cannot be loaded,
// and then unavailableReason() says why, logged once.
const Backend* backend();
QString unavailableReason();

// The module's own implementations, which fill the table.
std::optional<QString> gsettingsProblem(const GSettingsKey& key);
std::optional<QString> gsettingsWriteProblem(const GSettingsKey& key);
QStringList readGSettingsList(const GSettingsKey& key);
void writeGSettingsList(const GSettingsKey& key, const QStringList& values);
QString readGSettingsString(const GSettingsKey& key);
bool readGSettingsBoolean(const GSettingsKey& key);
void writeGSettingsString(const GSettingsKey& key, const QString& value);
void resetGSettingsKey(const GSettingsKey& key);
std::unique_ptr<GSettingsWatch> watchGSettingsKey(const GSettingsKey& key, std::function<void()> changed);
std::unique_ptr<DesktopApps> createDesktopApps(ProcessScope scope);
std::unique_ptr<UserNotifications> createUserNotifications();
std::unique_ptr<DoNotDisturbWatcher> createDoNotDisturbWatcher();
std::unique_ptr<NetworkWatcher> createNetworkWatcher();
std::unique_ptr<WakeMonitor> createWakeMonitor(std::function<void()> woke);
std::optional<QVariant> callSessionBus(const SessionBusCall& call);
std::unique_ptr<NetworkPathMonitor> createNetworkPathMonitor();
std::variant<QByteArray, HttpFailure> exchangeHttp(const HttpRequest& request);

} // namespace pierline::desktop
