#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace pierline {

class UserDefaults;

enum class SettingType { Bool, Double, String, StringArray };

// Every user setting, in declaration order.
enum class Setting {
    CloseOtherApps,
    ExcludedApps,
    ExcludedPresetIds,
    LaunchAtLogin,
    MenuBarLogo,
    UseDockutil,
    AppMode,
    ShowMainWindowOnLaunch,
    AutoSaveCurrentDockToLastPreset,
    AskBeforeSwitchingPresetsWithHotkeys,
    UseLightweightBrowserLaunching,
    CloseBrowsersBeforeSwitching,
    IntegrateWithHarborlet,
    HideHarborletCTA,
    ScopeTimeoutSeconds,
    MultiPressWindowMs,
    ShowScopeModeIndicator,
    SkipApplyIfSamePreset,
    LastContextEnabled,
    LastContextPromptOnSwitch,
    LastContextShowIncomingContext,
    LastContextAutoCloseEnabled,
    LastContextAutoCloseSeconds,
    LastContextAutoFocusStatus,
    LockDockEnabled,
    LockDockDisplayUUID,
    LockDockAutoRelocate,
    DockTarget,
    PlankDock,
    ContextSettleSeconds,
    ContextRulesEnabled,
};

// One setting: its user-defaults key (equal to the property name), its type, its value when the
// key is absent and how a stored value is read back.
struct SettingDescriptor {
    Setting id;
    QString key;
    SettingType type;
    QVariant defaultValue;
    // Read like the plain boolean getter (a stored "YES" or 1 is true); otherwise a value of
    // another type than `type` gives the default.
    bool plainBool = false;
    // The range the settings window's slider offers for a number; equal bounds mean no range.
    double minimum = 0;
    double maximum = 0;

    bool hasRange() const { return minimum < maximum; }
};

// Declaration order.
const QList<SettingDescriptor>& settingDescriptors();
const SettingDescriptor& settingDescriptor(Setting setting);
const SettingDescriptor* findSettingDescriptor(const QString& key);

// The stored value of a setting in its own type; the default when the key is absent, holds
// another type or the domain cannot be read (reported once per reason with printWarning).
// Safe on any thread: it reads the file, not the settings object.
QVariant readSetting(const SettingDescriptor& descriptor, const UserDefaults& defaults);
QVariant readSetting(Setting setting); // the standard domain

bool readBoolSetting(Setting setting);
double readDoubleSetting(Setting setting);
QString readStringSetting(Setting setting);
QStringList readStringListSetting(Setting setting);

} // namespace pierline
