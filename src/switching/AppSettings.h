#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantHash>
#include <functional>
#include <memory>
#include <mutex>

namespace pierline {

enum class SettingType { Bool, Double, String, StringArray };

// One setting: its user-defaults key (equal to the property name), its type and its value when
// the key is absent.
struct SettingDescriptor {
    QString key;
    SettingType type;
    QVariant defaultValue;
};

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
// Every setter writes user defaults synchronously (other threads read the keys directly), then
// announces the change and runs the setting's effect. Setters belong to the main thread.
class AppSettings : public QObject {
    Q_OBJECT
public:
    static AppSettings& shared();

    // Loads every setting from user defaults; no change effect runs while loading.
    explicit AppSettings(std::shared_ptr<SettingsEffects> effects = nullptr, QObject* parent = nullptr);

    // Declaration order.
    static const QList<SettingDescriptor>& descriptors();
    static const SettingDescriptor* descriptor(const QString& key);

    // Generic access by key; `setValue` refuses a value of the wrong type or an unknown key.
    QVariant value(const QString& key) const;
    bool setValue(const QString& key, const QVariant& value);

    bool closeOtherApps() const { return get<bool>(kCloseOtherApps); }
    void setCloseOtherApps(bool v) { set(kCloseOtherApps, v); }
    QStringList excludedApps() const { return get<QStringList>(kExcludedApps); }
    void setExcludedApps(const QStringList& v) { set(kExcludedApps, v); }
    QStringList excludedPresetIds() const { return get<QStringList>(kExcludedPresetIds); }
    void setExcludedPresetIds(const QStringList& v) { set(kExcludedPresetIds, v); }
    bool launchAtLogin() const { return get<bool>(kLaunchAtLogin); }
    void setLaunchAtLogin(bool v) { set(kLaunchAtLogin, v); }
    QString menuBarLogo() const { return get<QString>(kMenuBarLogo); }
    void setMenuBarLogo(const QString& v) { set(kMenuBarLogo, v); }
    bool useDockutil() const { return get<bool>(kUseDockutil); }
    void setUseDockutil(bool v) { set(kUseDockutil, v); }
    QString appMode() const { return get<QString>(kAppMode); }
    void setAppMode(const QString& v) { set(kAppMode, v); }
    bool showMainWindowOnLaunch() const { return get<bool>(kShowMainWindowOnLaunch); }
    void setShowMainWindowOnLaunch(bool v) { set(kShowMainWindowOnLaunch, v); }
    bool autoSaveCurrentDockToLastPreset() const { return get<bool>(kAutoSaveCurrentDockToLastPreset); }
    void setAutoSaveCurrentDockToLastPreset(bool v) { set(kAutoSaveCurrentDockToLastPreset, v); }
    bool askBeforeSwitchingPresetsWithHotkeys() const { return get<bool>(kAskBeforeSwitchingPresetsWithHotkeys); }
    void setAskBeforeSwitchingPresetsWithHotkeys(bool v) { set(kAskBeforeSwitchingPresetsWithHotkeys, v); }
    bool useLightweightBrowserLaunching() const { return get<bool>(kUseLightweightBrowserLaunching); }
    void setUseLightweightBrowserLaunching(bool v) { set(kUseLightweightBrowserLaunching, v); }
    bool closeBrowsersBeforeSwitching() const { return get<bool>(kCloseBrowsersBeforeSwitching); }
    void setCloseBrowsersBeforeSwitching(bool v) { set(kCloseBrowsersBeforeSwitching, v); }
    bool integrateWithHarborlet() const { return get<bool>(kIntegrateWithHarborlet); }
    void setIntegrateWithHarborlet(bool v) { set(kIntegrateWithHarborlet, v); }
    bool hideHarborletCTA() const { return get<bool>(kHideHarborletCTA); }
    void setHideHarborletCTA(bool v) { set(kHideHarborletCTA, v); }
    double scopeTimeoutSeconds() const { return get<double>(kScopeTimeoutSeconds); }
    void setScopeTimeoutSeconds(double v) { set(kScopeTimeoutSeconds, v); }
    // Seconds, despite the name.
    double multiPressWindowMs() const { return get<double>(kMultiPressWindowMs); }
    void setMultiPressWindowMs(double v) { set(kMultiPressWindowMs, v); }
    bool showScopeModeIndicator() const { return get<bool>(kShowScopeModeIndicator); }
    void setShowScopeModeIndicator(bool v) { set(kShowScopeModeIndicator, v); }
    bool skipApplyIfSamePreset() const { return get<bool>(kSkipApplyIfSamePreset); }
    void setSkipApplyIfSamePreset(bool v) { set(kSkipApplyIfSamePreset, v); }
    bool lastContextEnabled() const { return get<bool>(kLastContextEnabled); }
    void setLastContextEnabled(bool v) { set(kLastContextEnabled, v); }
    bool lastContextPromptOnSwitch() const { return get<bool>(kLastContextPromptOnSwitch); }
    void setLastContextPromptOnSwitch(bool v) { set(kLastContextPromptOnSwitch, v); }
    bool lastContextShowIncomingContext() const { return get<bool>(kLastContextShowIncomingContext); }
    void setLastContextShowIncomingContext(bool v) { set(kLastContextShowIncomingContext, v); }
    bool lastContextAutoCloseEnabled() const { return get<bool>(kLastContextAutoCloseEnabled); }
    void setLastContextAutoCloseEnabled(bool v) { set(kLastContextAutoCloseEnabled, v); }
    double lastContextAutoCloseSeconds() const { return get<double>(kLastContextAutoCloseSeconds); }
    void setLastContextAutoCloseSeconds(double v) { set(kLastContextAutoCloseSeconds, v); }
    bool lastContextAutoFocusStatus() const { return get<bool>(kLastContextAutoFocusStatus); }
    void setLastContextAutoFocusStatus(bool v) { set(kLastContextAutoFocusStatus, v); }
    bool lockDockEnabled() const { return get<bool>(kLockDockEnabled); }
    void setLockDockEnabled(bool v) { set(kLockDockEnabled, v); }
    QString lockDockDisplayUUID() const { return get<QString>(kLockDockDisplayUUID); }
    void setLockDockDisplayUUID(const QString& v) { set(kLockDockDisplayUUID, v); }
    bool lockDockAutoRelocate() const { return get<bool>(kLockDockAutoRelocate); }
    void setLockDockAutoRelocate(bool v) { set(kLockDockAutoRelocate, v); }

    // Shows or hides the Dock icon and the status item as `appMode` asks.
    void applyAppMode();

    // The advanced hotkey manager registers here to receive its timing copies.
    static void
    setAdvancedHotkeyTimingSink(std::function<void(double scopeTimeoutSeconds, double multiPressWindow)> sink);
    static void copyToAdvancedHotkeyManager(double scopeTimeoutSeconds, double multiPressWindow);

    static inline const QString kCloseOtherApps = QStringLiteral("closeOtherApps");
    static inline const QString kExcludedApps = QStringLiteral("excludedApps");
    static inline const QString kExcludedPresetIds = QStringLiteral("excludedPresetIds");
    static inline const QString kLaunchAtLogin = QStringLiteral("launchAtLogin");
    static inline const QString kMenuBarLogo = QStringLiteral("menuBarLogo");
    static inline const QString kUseDockutil = QStringLiteral("useDockutil");
    static inline const QString kAppMode = QStringLiteral("appMode");
    static inline const QString kShowMainWindowOnLaunch = QStringLiteral("showMainWindowOnLaunch");
    static inline const QString kAutoSaveCurrentDockToLastPreset = QStringLiteral("autoSaveCurrentDockToLastPreset");
    static inline const QString kAskBeforeSwitchingPresetsWithHotkeys =
        QStringLiteral("askBeforeSwitchingPresetsWithHotkeys");
    static inline const QString kUseLightweightBrowserLaunching = QStringLiteral("useLightweightBrowserLaunching");
    static inline const QString kCloseBrowsersBeforeSwitching = QStringLiteral("closeBrowsersBeforeSwitching");
    static inline const QString kIntegrateWithHarborlet = QStringLiteral("integrateWithHarborlet");
    static inline const QString kHideHarborletCTA = QStringLiteral("hideHarborletCTA");
    static inline const QString kScopeTimeoutSeconds = QStringLiteral("scopeTimeoutSeconds");
    static inline const QString kMultiPressWindowMs = QStringLiteral("multiPressWindowMs");
    static inline const QString kShowScopeModeIndicator = QStringLiteral("showScopeModeIndicator");
    static inline const QString kSkipApplyIfSamePreset = QStringLiteral("skipApplyIfSamePreset");
    static inline const QString kLastContextEnabled = QStringLiteral("lastContextEnabled");
    static inline const QString kLastContextPromptOnSwitch = QStringLiteral("lastContextPromptOnSwitch");
    static inline const QString kLastContextShowIncomingContext = QStringLiteral("lastContextShowIncomingContext");
    static inline const QString kLastContextAutoCloseEnabled = QStringLiteral("lastContextAutoCloseEnabled");
    static inline const QString kLastContextAutoCloseSeconds = QStringLiteral("lastContextAutoCloseSeconds");
    static inline const QString kLastContextAutoFocusStatus = QStringLiteral("lastContextAutoFocusStatus");
    static inline const QString kLockDockEnabled = QStringLiteral("lockDockEnabled");
    static inline const QString kLockDockDisplayUUID = QStringLiteral("lockDockDisplayUUID");
    static inline const QString kLockDockAutoRelocate = QStringLiteral("lockDockAutoRelocate");

    static inline const QString kHelperBundleName = QStringLiteral("PierlineHelper.app");
    static inline const QString kHelperBundleIdentifier = QStringLiteral("com.corvane.PierlineHelper");

signals:
    // After the new value is stored and written, before the setting's effect runs.
    void settingChanged(const QString& key);

private:
    template <typename T> T get(const QString& key) const {
        std::lock_guard lock(mutex_);
        return values_.value(key).value<T>();
    }
    void set(const QString& key, const QVariant& value);
    void runEffect(const QString& key, const QVariant& oldValue, const QVariant& newValue);
    void updateLoginItem(bool enable);

    std::shared_ptr<SettingsEffects> effects_;
    mutable std::mutex mutex_;
    QVariantHash values_;
};

} // namespace pierline
