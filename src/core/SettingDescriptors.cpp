#include "SettingDescriptors.h"

#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QSet>
#include <mutex>

namespace pierline {
namespace {

SettingDescriptor boolean(Setting id, const char* key, bool whenAbsent, bool plain = false) {
    return {id, QString::fromLatin1(key), SettingType::Bool, whenAbsent, plain};
}

SettingDescriptor number(Setting id, const char* key, double whenAbsent, double minimum, double maximum) {
    return {id, QString::fromLatin1(key), SettingType::Double, whenAbsent, false, minimum, maximum};
}

SettingDescriptor text(Setting id, const char* key, const char* whenAbsent) {
    return {id, QString::fromLatin1(key), SettingType::String, QString::fromLatin1(whenAbsent)};
}

SettingDescriptor list(Setting id, const char* key) {
    return {id, QString::fromLatin1(key), SettingType::StringArray, QStringList()};
}

// A damaged settings file would otherwise warn on every read of every setting.
void warnOnce(const QString& reason) {
    static std::mutex mutex;
    static QSet<QString> reported;
    {
        std::lock_guard lock(mutex);
        if (reported.contains(reason))
            return;
        reported.insert(reason);
    }
    printWarning(QStringLiteral("Using default settings: %1").arg(reason));
}

} // namespace

const QList<SettingDescriptor>& settingDescriptors() {
    using S = Setting;
    static const QList<SettingDescriptor> descriptors = {
        boolean(S::CloseOtherApps, "closeOtherApps", false, true),
        list(S::ExcludedApps, "excludedApps"),
        list(S::ExcludedPresetIds, "excludedPresetIds"),
        boolean(S::LaunchAtLogin, "launchAtLogin", false, true),
        text(S::MenuBarLogo, "menuBarLogo", "logo-no-bg"),
        boolean(S::UseDockutil, "useDockutil", true, true),
        text(S::AppMode, "appMode", "menuBarOnly"),
        boolean(S::ShowMainWindowOnLaunch, "showMainWindowOnLaunch", true),
        boolean(S::AutoSaveCurrentDockToLastPreset, "autoSaveCurrentDockToLastPreset", false),
        boolean(S::AskBeforeSwitchingPresetsWithHotkeys, "askBeforeSwitchingPresetsWithHotkeys", false),
        boolean(S::UseLightweightBrowserLaunching, "useLightweightBrowserLaunching", true),
        boolean(S::CloseBrowsersBeforeSwitching, "closeBrowsersBeforeSwitching", false),
        boolean(S::IntegrateWithHarborlet, "integrateWithHarborlet", false),
        boolean(S::HideHarborletCTA, "hideHarborletCTA", false),
        number(S::ScopeTimeoutSeconds, "scopeTimeoutSeconds", 3.0, 1.0, 10.0),
        number(S::MultiPressWindowMs, "multiPressWindowMs", 0.5, 0.2, 1.0),
        boolean(S::ShowScopeModeIndicator, "showScopeModeIndicator", true),
        boolean(S::SkipApplyIfSamePreset, "skipApplyIfSamePreset", false),
        boolean(S::LastContextEnabled, "lastContextEnabled", false),
        boolean(S::LastContextPromptOnSwitch, "lastContextPromptOnSwitch", true),
        boolean(S::LastContextShowIncomingContext, "lastContextShowIncomingContext", true),
        boolean(S::LastContextAutoCloseEnabled, "lastContextAutoCloseEnabled", true),
        number(S::LastContextAutoCloseSeconds, "lastContextAutoCloseSeconds", 30.0, 5.0, 60.0),
        boolean(S::LastContextAutoFocusStatus, "lastContextAutoFocusStatus", true),
        boolean(S::LockDockEnabled, "lockDockEnabled", false),
        text(S::LockDockDisplayUUID, "lockDockDisplayUUID", ""),
        boolean(S::LockDockAutoRelocate, "lockDockAutoRelocate", false),
        // Empty: chosen from the home and the desktop.
        text(S::DockTarget, "dockTarget", ""),
        // The Plank dock a switch writes: `plank -n NAME`, its folder under ~/.config/plank.
        text(S::PlankDock, "plankDock", "dock1"),
        // How long the context must stay put before a rule switches.
        number(S::ContextSettleSeconds, "contextSettleSeconds", 0.5, 0.0, 10.0),
        boolean(S::ContextRulesEnabled, "contextRulesEnabled", true),
    };
    return descriptors;
}

const SettingDescriptor& settingDescriptor(Setting setting) {
    // The table is in enum order; a mismatch is a programming error caught by the tests.
    return settingDescriptors().at(static_cast<qsizetype>(setting));
}

const SettingDescriptor* findSettingDescriptor(const QString& key) {
    for (const SettingDescriptor& d : settingDescriptors())
        if (d.key == key)
            return &d;
    return nullptr;
}

QVariant readSetting(const SettingDescriptor& d, const UserDefaults& defaults) {
    if (const auto error = defaults.readError()) {
        warnOnce(*error);
        return d.defaultValue;
    }
    switch (d.type) {
    case SettingType::Bool:
        if (d.plainBool)
            return defaults.contains(d.key) ? defaults.boolForKey(d.key) : d.defaultValue.toBool();
        // Presence, not truth: a stored false stays false.
        return defaults.boolValue(d.key).value_or(d.defaultValue.toBool());
    case SettingType::Double:
        return defaults.doubleValue(d.key).value_or(d.defaultValue.toDouble());
    case SettingType::String:
        return defaults.string(d.key).value_or(d.defaultValue.toString());
    case SettingType::StringArray:
        return defaults.stringArray(d.key).value_or(d.defaultValue.toStringList());
    }
    return d.defaultValue;
}

QVariant readSetting(Setting setting) {
    return readSetting(settingDescriptor(setting), UserDefaults::standard());
}

bool readBoolSetting(Setting setting) {
    return readSetting(setting).toBool();
}

double readDoubleSetting(Setting setting) {
    return readSetting(setting).toDouble();
}

QString readStringSetting(Setting setting) {
    return readSetting(setting).toString();
}

QStringList readStringListSetting(Setting setting) {
    return readSetting(setting).toStringList();
}

} // namespace pierline
