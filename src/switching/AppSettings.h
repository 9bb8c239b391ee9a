#pragma once

#include "core/SettingDescriptors.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantHash>
#include <functional>
#include <memory>
#include <mutex>

namespace pierline {

// The services outside this subsystem that some setting changes drive. The defaults reach the
// process-wide Lock Dock monitor, the companion integration and the advanced hotkey manager;
// tests record the calls instead.
class SettingsEffects {
public:
    virtual ~SettingsEffects() = default;
    virtual void startLockDockMonitoring();
    virtual void stopLockDockMonitoring();
    virtual void changeLockedDisplay(const QString& uuid);
    virtual void relocateDockToLockedDisplay();
    virtual void stopHarborletPeriodicRefresh();
    virtual void copyHotkeyTimings(double scopeTimeoutSeconds, double multiPressWindow);
};

// The user's preferences for the whole process, mirrored in the standard user-defaults domain.
// Every setter writes user defaults synchronously (other threads read them through readSetting),
// then announces the change and runs the setting's effect. Setters belong to the main thread; a
// write that fails throws UserDefaultsError and leaves the setting unchanged.
class AppSettings : public QObject {
    Q_OBJECT
public:
    static AppSettings& shared();

    // Loads every setting from user defaults; no change effect runs while loading.
    explicit AppSettings(std::shared_ptr<SettingsEffects> effects = nullptr, QObject* parent = nullptr);

    // Generic access by key; `setValue` refuses (false) a value of the wrong type or an unknown key.
    QVariant value(const QString& key) const;
    bool setValue(const QString& key, const QVariant& value);

    bool closeOtherApps() const { return get<bool>(Setting::CloseOtherApps); }
    void setCloseOtherApps(bool v) { set(Setting::CloseOtherApps, v); }
    QStringList excludedApps() const { return get<QStringList>(Setting::ExcludedApps); }
    void setExcludedApps(const QStringList& v) { set(Setting::ExcludedApps, v); }
    QStringList excludedPresetIds() const { return get<QStringList>(Setting::ExcludedPresetIds); }
    void setExcludedPresetIds(const QStringList& v) { set(Setting::ExcludedPresetIds, v); }
    bool launchAtLogin() const { return get<bool>(Setting::LaunchAtLogin); }
    void setLaunchAtLogin(bool v) { set(Setting::LaunchAtLogin, v); }
    QString menuBarLogo() const { return get<QString>(Setting::MenuBarLogo); }
    void setMenuBarLogo(const QString& v) { set(Setting::MenuBarLogo, v); }
    bool useDockutil() const { return get<bool>(Setting::UseDockutil); }
    void setUseDockutil(bool v) { set(Setting::UseDockutil, v); }
    QString appMode() const { return get<QString>(Setting::AppMode); }
    void setAppMode(const QString& v) { set(Setting::AppMode, v); }
    bool showMainWindowOnLaunch() const { return get<bool>(Setting::ShowMainWindowOnLaunch); }
    void setShowMainWindowOnLaunch(bool v) { set(Setting::ShowMainWindowOnLaunch, v); }
    bool autoSaveCurrentDockToLastPreset() const { return get<bool>(Setting::AutoSaveCurrentDockToLastPreset); }
    void setAutoSaveCurrentDockToLastPreset(bool v) { set(Setting::AutoSaveCurrentDockToLastPreset, v); }
    bool askBeforeSwitchingPresetsWithHotkeys() const {
        return get<bool>(Setting::AskBeforeSwitchingPresetsWithHotkeys);
    }
    void setAskBeforeSwitchingPresetsWithHotkeys(bool v) { set(Setting::AskBeforeSwitchingPresetsWithHotkeys, v); }
    bool useLightweightBrowserLaunching() const { return get<bool>(Setting::UseLightweightBrowserLaunching); }
    void setUseLightweightBrowserLaunching(bool v) { set(Setting::UseLightweightBrowserLaunching, v); }
    bool closeBrowsersBeforeSwitching() const { return get<bool>(Setting::CloseBrowsersBeforeSwitching); }
    void setCloseBrowsersBeforeSwitching(bool v) { set(Setting::CloseBrowsersBeforeSwitching, v); }
    bool integrateWithHarborlet() const { return get<bool>(Setting::IntegrateWithHarborlet); }
    void setIntegrateWithHarborlet(bool v) { set(Setting::IntegrateWithHarborlet, v); }
    bool hideHarborletCTA() const { return get<bool>(Setting::HideHarborletCTA); }
    void setHideHarborletCTA(bool v) { set(Setting::HideHarborletCTA, v); }
    double scopeTimeoutSeconds() const { return get<double>(Setting::ScopeTimeoutSeconds); }
    void setScopeTimeoutSeconds(double v) { set(Setting::ScopeTimeoutSeconds, v); }
    // Seconds, despite the name.
    double multiPressWindowMs() const { return get<double>(Setting::MultiPressWindowMs); }
    void setMultiPressWindowMs(double v) { set(Setting::MultiPressWindowMs, v); }
    bool showScopeModeIndicator() const { return get<bool>(Setting::ShowScopeModeIndicator); }
    void setShowScopeModeIndicator(bool v) { set(Setting::ShowScopeModeIndicator, v); }
    bool skipApplyIfSamePreset() const { return get<bool>(Setting::SkipApplyIfSamePreset); }
    void setSkipApplyIfSamePreset(bool v) { set(Setting::SkipApplyIfSamePreset, v); }
    bool lastContextEnabled() const { return get<bool>(Setting::LastContextEnabled); }
    void setLastContextEnabled(bool v) { set(Setting::LastContextEnabled, v); }
    bool lastContextPromptOnSwitch() const { return get<bool>(Setting::LastContextPromptOnSwitch); }
    void setLastContextPromptOnSwitch(bool v) { set(Setting::LastContextPromptOnSwitch, v); }
    bool lastContextShowIncomingContext() const { return get<bool>(Setting::LastContextShowIncomingContext); }
    void setLastContextShowIncomingContext(bool v) { set(Setting::LastContextShowIncomingContext, v); }
    bool lastContextAutoCloseEnabled() const { return get<bool>(Setting::LastContextAutoCloseEnabled); }
    void setLastContextAutoCloseEnabled(bool v) { set(Setting::LastContextAutoCloseEnabled, v); }
    double lastContextAutoCloseSeconds() const { return get<double>(Setting::LastContextAutoCloseSeconds); }
    void setLastContextAutoCloseSeconds(double v) { set(Setting::LastContextAutoCloseSeconds, v); }
    bool lastContextAutoFocusStatus() const { return get<bool>(Setting::LastContextAutoFocusStatus); }
    void setLastContextAutoFocusStatus(bool v) { set(Setting::LastContextAutoFocusStatus, v); }
    bool lockDockEnabled() const { return get<bool>(Setting::LockDockEnabled); }
    void setLockDockEnabled(bool v) { set(Setting::LockDockEnabled, v); }
    QString lockDockDisplayUUID() const { return get<QString>(Setting::LockDockDisplayUUID); }
    void setLockDockDisplayUUID(const QString& v) { set(Setting::LockDockDisplayUUID, v); }
    bool lockDockAutoRelocate() const { return get<bool>(Setting::LockDockAutoRelocate); }
    void setLockDockAutoRelocate(bool v) { set(Setting::LockDockAutoRelocate, v); }

    // Shows or hides the Dock icon and the status item as `appMode` asks.
    void applyAppMode();

    // The advanced hotkey manager registers here to receive its timing copies.
    static void
    setAdvancedHotkeyTimingSink(std::function<void(double scopeTimeoutSeconds, double multiPressWindow)> sink);
    static void copyToAdvancedHotkeyManager(double scopeTimeoutSeconds, double multiPressWindow);

    static inline const QString kHelperBundleName = QStringLiteral("PierlineHelper.app");
    static inline const QString kHelperBundleIdentifier = QStringLiteral("com.corvane.PierlineHelper");

signals:
    // After the new value is stored and written, before the setting's effect runs.
    void settingChanged(const QString& key);

private:
    template <typename T> T get(Setting setting) const {
        std::lock_guard lock(mutex_);
        return values_.value(settingDescriptor(setting).key).value<T>();
    }
    void set(Setting setting, const QVariant& value);
    void runEffect(Setting setting, const QVariant& oldValue, const QVariant& newValue);
    void updateLoginItem(bool enable);

    std::shared_ptr<SettingsEffects> effects_;
    mutable std::mutex mutex_;
    QVariantHash values_;
};

} // namespace pierline
