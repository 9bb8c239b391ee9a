#include "platform/linux/DesktopBackend.h"

#include "platform/Log.h"
#include "platform/RuntimeFolder.h"
#include "platform/linux/Module.h"

#include <QFileInfo>
#include <atomic>

namespace pierline {
namespace desktop {
namespace {

const LoadedModule& loaded() {
    static const LoadedModule once =
        loadModule(kModuleFileName, kBackendEntry, kBackendVersion, QStringLiteral("Desktop"));
    return once;
}

// The table, or GSettingsError with the module's reason.
const Backend& settingsBackend() {
    if (const Backend* table = backend())
        return *table;
    throw GSettingsError(unavailableReason().toStdString());
}

// Without the module the factories give sources that say why they cannot watch or act.
class UnavailableDesktopApps : public DesktopApps {
public:
    QList<RunningApplication> runningApplications(const QStringList&) const override { return {}; }
    bool isApplication(const QString&) const override { return false; }
    OpenResult openApplication(const QString&) override { return OpenResult::failure(unavailableReason()); }
    OpenResult openFile(const QString&, const QString&) override { return OpenResult::failure(unavailableReason()); }
};

class UnavailableUserNotifications : public UserNotifications {
public:
    void requestAuthorization(AuthorizationReply reply) override { reply(false, unavailableReason()); }
    void add(const UserNotificationRequest&, DeliveryReply reply) override { reply(unavailableReason()); }
};

class UnavailableDoNotDisturbWatcher : public DoNotDisturbWatcher {
public:
    std::optional<QString> start(std::function<void()>) override { return unavailableReason(); }
    std::optional<bool> current() const override { return std::nullopt; }
};

class UnavailableNetworkWatcher : public NetworkWatcher {
public:
    std::optional<QString> start(std::function<void()>) override { return unavailableReason(); }
    std::optional<QStringList> current() const override { return std::nullopt; }
};

class UnavailableWakeMonitor : public WakeMonitor {};

class UnavailableNetworkPathMonitor : public NetworkPathMonitor {
public:
    bool start(std::function<void(const Path&)>) override { return false; }
    void cancel() override {}
};

std::atomic<UserNotifications*> g_notifications{nullptr};

} // namespace

const Backend* backend() {
    return static_cast<const Backend*>(loaded().table);
}

QString unavailableReason() {
    return loaded().reason;
}

} // namespace desktop

bool isGSettingsPath(const QString& path) {
    return path.startsWith(QLatin1Char('/')) && path.endsWith(QLatin1Char('/')) && !path.contains(QLatin1String("//"));
}

std::optional<QString> gsettingsProblem(const GSettingsKey& key) {
    if (const desktop::Backend* table = desktop::backend())
        return table->gsettingsProblem(key);
    return desktop::unavailableReason();
}

std::optional<QString> gsettingsWriteProblem(const GSettingsKey& key) {
    if (const desktop::Backend* table = desktop::backend())
        return table->gsettingsWriteProblem(key);
    return desktop::unavailableReason();
}

QStringList readGSettingsList(const GSettingsKey& key) {
    return desktop::settingsBackend().readGSettingsList(key);
}

void writeGSettingsList(const GSettingsKey& key, const QStringList& values) {
    desktop::settingsBackend().writeGSettingsList(key, values);
}

QString readGSettingsString(const GSettingsKey& key) {
    return desktop::settingsBackend().readGSettingsString(key);
}

bool readGSettingsBoolean(const GSettingsKey& key) {
    return desktop::settingsBackend().readGSettingsBoolean(key);
}

void writeGSettingsString(const GSettingsKey& key, const QString& value) {
    desktop::settingsBackend().writeGSettingsString(key, value);
}

void resetGSettingsKey(const GSettingsKey& key) {
    desktop::settingsBackend().resetGSettingsKey(key);
}

std::unique_ptr<GSettingsWatch> watchGSettingsKey(const GSettingsKey& key, std::function<void()> changed) {
    return desktop::settingsBackend().watchGSettingsKey(key, std::move(changed));
}

std::unique_ptr<DesktopApps> createLinuxDesktopApps(ProcessScope scope) {
    if (const desktop::Backend* table = desktop::backend())
        return table->createDesktopApps(std::move(scope));
    return std::make_unique<desktop::UnavailableDesktopApps>();
}

std::unique_ptr<DesktopApps> createSystemDesktopApps() {
    return createLinuxDesktopApps({});
}

std::unique_ptr<UserNotifications> createUserNotifications() {
    if (const desktop::Backend* table = desktop::backend())
        return table->createUserNotifications();
    return std::make_unique<desktop::UnavailableUserNotifications>();
}

UserNotifications& UserNotifications::shared() {
    static UserNotifications* const platform = createUserNotifications().release();
    UserNotifications* injected = desktop::g_notifications.load();
    return injected ? *injected : *platform;
}

void UserNotifications::setShared(UserNotifications* notifications) {
    desktop::g_notifications.store(notifications);
}

std::unique_ptr<DoNotDisturbWatcher> createDoNotDisturbWatcher() {
    if (const desktop::Backend* table = desktop::backend())
        return table->createDoNotDisturbWatcher();
    return std::make_unique<desktop::UnavailableDoNotDisturbWatcher>();
}

std::unique_ptr<NetworkWatcher> createNetworkWatcher() {
    if (const desktop::Backend* table = desktop::backend())
        return table->createNetworkWatcher();
    return std::make_unique<desktop::UnavailableNetworkWatcher>();
}

std::unique_ptr<WakeMonitor> createWakeMonitor(std::function<void()> woke) {
    if (const desktop::Backend* table = desktop::backend())
        return table->createWakeMonitor(std::move(woke));
    Logger(QStringLiteral("Context"))
        .info(QStringLiteral("Waking from sleep not watched: %1").arg(desktop::unavailableReason()));
    return std::make_unique<desktop::UnavailableWakeMonitor>();
}

std::unique_ptr<NetworkPathMonitor> createNetworkPathMonitor() {
    if (const desktop::Backend* table = desktop::backend())
        return table->createNetworkPathMonitor();
    return std::make_unique<desktop::UnavailableNetworkPathMonitor>();
}

std::variant<QByteArray, HttpFailure> exchangeHttp(const HttpRequest& request) {
    if (const desktop::Backend* table = desktop::backend())
        return table->exchangeHttp(request);
    return HttpFailure{HttpFailure::Kind::Network, 0, desktop::unavailableReason()};
}

bool hasSessionBus() {
    // Checked without D-Bus, so that asking never autolaunches a bus of its own.
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const std::optional<QString> runtime = userRuntimeFolder();
    return runtime && QFileInfo::exists(*runtime + QStringLiteral("/bus"));
}

std::optional<QVariant> callSessionBus(const SessionBusCall& call) {
    // No bus, no module needed: the common case of a desktop without one stays cheap.
    if (!hasSessionBus())
        return std::nullopt;
    if (const desktop::Backend* table = desktop::backend())
        return table->callSessionBus(call);
    return std::nullopt;
}

} // namespace pierline
