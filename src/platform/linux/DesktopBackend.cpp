#include "platform/linux/DesktopBackend.h"

extern "C" Q_DECL_EXPORT const pierline::desktop::Backend* pierlineDesktopBackend() {
    using namespace pierline::desktop;
    static const Backend table{
        kBackendVersion,
        &gsettingsProblem,
        &gsettingsWriteProblem,
        &readGSettingsList,
        &writeGSettingsList,
        &readGSettingsString,
        &readGSettingsBoolean,
        &writeGSettingsString,
        &resetGSettingsKey,
        &watchGSettingsKey,
        &createDesktopApps,
        &createUserNotifications,
        &createDoNotDisturbWatcher,
        &createNetworkWatcher,
        &createWakeMonitor,
        &callSessionBus,
        &createNetworkPathMonitor,
        &exchangeHttp,
    };
    return &table;
}
