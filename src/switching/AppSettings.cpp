#include "AppSettings.h"

#include "core/LockDockMonitor.h"
#include "core/PierlineIntegration.h"
#include "platform/AppShell.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/LoginItem.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcessEnvironment>

namespace pierline {
namespace {

const Logger& settingsLog() {
    static const Logger logger(QStringLiteral("AppSettings"));
    return logger;
}

std::mutex g_sinkMutex;
std::function<void(double, double)> g_timingSink;

QVariant loadValue(const SettingDescriptor& d, UserDefaults& defaults) {
    if (d.id == Setting::UseDockutil && !defaults.readError() && !defaults.contains(d.key)) {
        // A fresh installation records the dockutil choice at once.
        try {
            defaults.set(d.key, true);
        } catch (const UserDefaultsError& error) {
            printWarning(QStringLiteral("Could not set %1: %2").arg(d.key, error.message()));
        }
    }
    return readSetting(d, defaults);
}

// The value in the setting's own type, or an invalid variant when it has another type.
QVariant coerce(const SettingDescriptor& d, const QVariant& value) {
    switch (d.type) {
    case SettingType::Bool:
        return value.typeId() == QMetaType::Bool ? value : QVariant();
    case SettingType::Double:
        switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return QVariant(value.toDouble());
        default:
            return QVariant();
        }
    case SettingType::String:
        return value.typeId() == QMetaType::QString ? value : QVariant();
    case SettingType::StringArray:
        if (value.typeId() == QMetaType::QStringList)
            return value;
        if (value.typeId() == QMetaType::QVariantList) {
            QStringList list;
            for (const QVariant& item : value.toList()) {
                if (item.typeId() != QMetaType::QString)
                    return QVariant();
                list.append(item.toString());
            }
            return QVariant(list);
        }
        return QVariant();
    }
    return QVariant();
}

} // namespace

void SettingsEffects::startLockDockMonitoring() {
    LockDockMonitor::shared().startMonitoring();
}
void SettingsEffects::stopLockDockMonitoring() {
    LockDockMonitor::shared().stopMonitoring();
}
void SettingsEffects::changeLockedDisplay(const QString& uuid) {
    LockDockMonitor::shared().changeLockedDisplay(uuid);
}
void SettingsEffects::relocateDockToLockedDisplay() {
    LockDockMonitor::shared().relocateDockToLockedDisplay();
}
void SettingsEffects::stopHarborletPeriodicRefresh() {
    PierlineIntegration::shared().stopPeriodicRefresh();
}
void SettingsEffects::copyHotkeyTimings(double scopeTimeoutSeconds, double multiPressWindow) {
    AppSettings::copyToAdvancedHotkeyManager(scopeTimeoutSeconds, multiPressWindow);
}

AppSettings& AppSettings::shared() {
    static AppSettings* instance = [] {
        AppSettings* created = nullptr;
        runOnMainSync([&] { created = new AppSettings(); });
        return created;
    }();
    return *instance;
}

AppSettings::AppSettings(std::shared_ptr<SettingsEffects> effects, QObject* parent)
    : QObject(parent), effects_(effects ? std::move(effects) : std::make_shared<SettingsEffects>()) {
    UserDefaults& defaults = UserDefaults::standard();
    for (const SettingDescriptor& d : settingDescriptors())
        values_.insert(d.key, loadValue(d, defaults));
}

QVariant AppSettings::value(const QString& key) const {
    std::lock_guard lock(mutex_);
    return values_.value(key);
}

bool AppSettings::setValue(const QString& key, const QVariant& value) {
    const SettingDescriptor* d = findSettingDescriptor(key);
    if (!d)
        return false;
    const QVariant typed = coerce(*d, value);
    if (!typed.isValid())
        return false;
    set(d->id, typed);
    return true;
}

void AppSettings::set(Setting setting, const QVariant& value) {
    if (!isMainThread()) {
        runOnMainSync([&] { set(setting, value); });
        return;
    }
    const QString& key = settingDescriptor(setting).key;
    // Written first: a setting the file does not hold must not look changed.
    UserDefaults::standard().set(key, value);
    QVariant old;
    {
        std::lock_guard lock(mutex_);
        old = values_.value(key);
        values_.insert(key, value);
    }
    emit settingChanged(key);
    runEffect(setting, old, value);
}

void AppSettings::runEffect(Setting setting, const QVariant& oldValue, const QVariant& newValue) {
    using S = Setting;
    if (setting == S::LaunchAtLogin) {
        updateLoginItem(newValue.toBool());
    } else if (setting == S::MenuBarLogo || setting == S::ShowScopeModeIndicator) {
        runOnMainAsync([] { AppShell::shared().refreshMenuBarIcon(); });
    } else if (setting == S::AppMode) {
        runOnMainAsync([self = QPointer<AppSettings>(this)] {
            if (self)
                self->applyAppMode();
        });
    } else if (setting == S::IntegrateWithHarborlet) {
        if (!newValue.toBool())
            effects_->stopHarborletPeriodicRefresh();
    } else if (setting == S::ScopeTimeoutSeconds || setting == S::MultiPressWindowMs) {
        effects_->copyHotkeyTimings(scopeTimeoutSeconds(), multiPressWindowMs());
        UserDefaults::standard().set(settingDescriptor(setting).key, newValue);
    } else if (setting == S::LockDockEnabled) {
        if (newValue.toBool())
            effects_->startLockDockMonitoring();
        else
            effects_->stopLockDockMonitoring();
    } else if (setting == S::LockDockDisplayUUID) {
        if (!lockDockEnabled())
            return;
        const QString uuid = newValue.toString();
        effects_->changeLockedDisplay(uuid);
        if (uuid != oldValue.toString()) {
            runOnMainAsync([effects = effects_] { effects->relocateDockToLockedDisplay(); });
        }
    }
}

void AppSettings::applyAppMode() {
    const QString mode = appMode();
    AppShell& shell = AppShell::shared();
    if (mode == QLatin1String("dockAppOnly")) {
        settingsLog().info(QStringLiteral("AppSettings: Changing to dock app only mode"));
        shell.setActivationPolicy(ActivationPolicy::Regular);
        shell.setStatusItemVisible(false);
    } else if (mode == QLatin1String("withDockIcon")) {
        settingsLog().info(QStringLiteral("AppSettings: Changing to menu bar with dock icon mode"));
        shell.setActivationPolicy(ActivationPolicy::Regular);
        shell.setStatusItemVisible(true);
    } else if (mode == QLatin1String("menuBarOnly")) {
        settingsLog().info(QStringLiteral("AppSettings: Changing to menu bar only mode"));
        shell.setActivationPolicy(ActivationPolicy::Accessory);
        shell.setStatusItemVisible(true);
    } else {
        // The stored value stays as it is; only its effect falls back.
        settingsLog().info(QStringLiteral("AppSettings: Unknown app mode, defaulting to menu bar only"));
        shell.setActivationPolicy(ActivationPolicy::Accessory);
        shell.setStatusItemVisible(true);
    }
}

void AppSettings::updateLoginItem(bool enable) {
    const Logger& log = settingsLog();
    // The login item is only offered when the helper is installed.
    const QString helper = QDir(SystemPaths::applicationsFolder()).filePath(kHelperBundleName);
    if (QFileInfo(helper).isDir()) {
        log.info(QStringLiteral("Helper app found in Applications folder at: %1").arg(helper));
    } else {
        log.info(QStringLiteral("Helper app not found in Applications folder"));
        std::optional<QString> found = Workspace::shared().applicationPath(kHelperBundleIdentifier);
        // Without a helper bundle the autostart entry starts the installed `pierline run` itself.
        const QFileInfo command(SystemPaths::commandPath());
        if (!found && command.fileName() == QLatin1String("pierline") && command.isExecutable())
            found = command.absoluteFilePath();
        if (!found) {
            log.error(QStringLiteral("Helper app not found with bundle ID: %1").arg(kHelperBundleIdentifier));
            return;
        }
        log.info(QStringLiteral("Found helper app at: %1").arg(*found));
    }

    LoginItem& item = LoginItem::shared();
    const bool enabled = item.status() == LoginItem::Status::Enabled;
    if (enable) {
        if (enabled) {
            log.info(QStringLiteral("Login item is already enabled"));
            return;
        }
        const auto error = item.registerItem();
        if (!error) {
            log.info(QStringLiteral("Successfully registered main app as login item"));
            return;
        }
        const bool sandboxed =
            QProcessEnvironment::systemEnvironment().contains(QStringLiteral("APP_SANDBOX_CONTAINER_ID"));
        const QString bundleId = SystemPaths::ownBundleIdentifier();
        log.error(QStringLiteral("Failed to register login item: %1").arg(error->description));
        log.error(QStringLiteral("Current process is sandboxed: %1").arg(sandboxed ? "true" : "false"));
        log.error(
            QStringLiteral("Current app bundle ID: %1").arg(bundleId.isEmpty() ? QStringLiteral("unknown") : bundleId));
        log.error(QStringLiteral("Error domain: %1").arg(error->domain));
        log.error(QStringLiteral("Error code: %1").arg(error->code));
        log.error(QStringLiteral("Error user info: %1").arg(error->userInfo));
        log.info(QStringLiteral("Trying alternative approach..."));
        if (item.registerWithLaunchServices())
            log.info(QStringLiteral("Successfully registered URL with Launch Services"));
        else
            log.error(QStringLiteral("Failed to register URL with Launch Services"));
        return;
    }
    if (!enabled) {
        log.info(QStringLiteral("Login item is already disabled"));
        return;
    }
    if (const auto error = item.unregisterItem()) {
        log.error(QStringLiteral("Failed to unregister login item: %1").arg(error->description));
    } else {
        log.info(QStringLiteral("Successfully unregistered main app as login item"));
    }
}

void AppSettings::setAdvancedHotkeyTimingSink(std::function<void(double, double)> sink) {
    std::lock_guard lock(g_sinkMutex);
    g_timingSink = std::move(sink);
}

void AppSettings::copyToAdvancedHotkeyManager(double scopeTimeoutSeconds, double multiPressWindow) {
    std::function<void(double, double)> sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_timingSink;
    }
    if (sink)
        sink(scopeTimeoutSeconds, multiPressWindow);
}

} // namespace pierline
