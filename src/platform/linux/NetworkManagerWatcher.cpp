#include "platform/Log.h"
#include "platform/linux/DesktopBackend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>

namespace pierline {
namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManager = QStringLiteral("org.freedesktop.NetworkManager");
const QString kActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kCallTimeoutMs = 2000;
constexpr uint kActivated = 2; // NM_ACTIVE_CONNECTION_STATE_ACTIVATED

// The activated connections NetworkManager reports on the system bus, re-read on its signals.
class NetworkManagerWatcher : public QObject, public NetworkWatcher {
    Q_OBJECT
public:
    std::optional<QString> start(std::function<void()> changed) override {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return QStringLiteral("no system bus (%1)").arg(bus.lastError().message());
        if (!bus.interface() || !bus.interface()->isServiceRegistered(kService))
            return QStringLiteral("NetworkManager is not running on the system bus");
        changed_ = std::move(changed);
        // Newer versions signal through the standard properties interface, older ones (and
        // the stand-in the tests use) through their own.
        const bool connected =
            bus.connect(kService, kPath, kProperties, QStringLiteral("PropertiesChanged"), this, SLOT(refresh())) &&
            bus.connect(kService, kPath, kManager, QStringLiteral("PropertiesChanged"), this, SLOT(refresh())) &&
            bus.connect(kService, kPath, kManager, QStringLiteral("StateChanged"), this, SLOT(refresh()));
        if (!connected)
            return QStringLiteral("cannot follow NetworkManager's signals: %1").arg(bus.lastError().message());
        watcher_ = new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &NetworkManagerWatcher::refresh);
        read();
        return std::nullopt;
    }

    std::optional<QStringList> current() const override { return current_; }

public Q_SLOTS:
    void refresh() {
        if (read())
            changed_();
    }

private:
    std::optional<QVariant> property(const QString& path, const QString& interface, const QString& name) const {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("Get"));
        call << interface << name;
        const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            log_.error(QStringLiteral("NetworkManager %1 %2: %3").arg(path, name, reply.errorMessage()));
            return std::nullopt;
        }
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

    std::optional<QStringList> readConnections() const {
        const auto active = property(kPath, kManager, QStringLiteral("ActiveConnections"));
        if (!active)
            return std::nullopt;
        QList<QDBusObjectPath> paths;
        if (active->canConvert<QDBusArgument>())
            active->value<QDBusArgument>() >> paths;
        else
            paths = active->value<QList<QDBusObjectPath>>();
        QStringList names;
        for (const QDBusObjectPath& path : paths) {
            const auto type = property(path.path(), kActive, QStringLiteral("Type"));
            const auto state = property(path.path(), kActive, QStringLiteral("State"));
            const auto id = property(path.path(), kActive, QStringLiteral("Id"));
            // The loopback device is no network to be on.
            if (!id || !state || state->toUInt() != kActivated ||
                (type && type->toString() == QLatin1String("loopback")))
                continue;
            names.append(id->toString());
        }
        return names;
    }

    bool read() {
        const std::optional<QStringList> now = readConnections();
        const bool differs = now != current_;
        current_ = now;
        return differs;
    }

    Logger log_{QStringLiteral("ContextRules")};
    QDBusServiceWatcher* watcher_ = nullptr;
    std::function<void()> changed_;
    std::optional<QStringList> current_;
};

} // namespace

std::unique_ptr<NetworkWatcher> desktop::createNetworkWatcher() {
    return std::make_unique<NetworkManagerWatcher>();
}

} // namespace pierline

#include "NetworkManagerWatcher.moc"
