#include "platform/SessionBusConnection.h"
#include "platform/linux/DesktopBackend.h"

#include "platform/Dispatch.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace pierline {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A notification stays for the server's default time.
constexpr int kServerDefaultTimeout = -1;

QString describe(const QDBusError& error) {
    return error.message().isEmpty() ? error.name() : QStringLiteral("%1 (%2)").arg(error.message(), error.name());
}

// The notification service answers, or says why it cannot, on the main queue.
void callAsync(const QDBusMessage& message, std::function<void(const QDBusMessage& reply, const QString& error)> done) {
    const std::optional<QDBusConnection> session = sessionBusConnection();
    if (!session || !session->isConnected()) {
        const QString error = session ? QStringLiteral("no session bus: %1").arg(describe(session->lastError()))
                                      : QStringLiteral("no session bus");
        runOnMainAsync([done, error] { done({}, error); });
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(session->asyncCall(message));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [done](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusMessage reply = finished->reply();
        if (reply.type() == QDBusMessage::ErrorMessage)
            done(reply, describe(QDBusError(reply)));
        else
            done(reply, {});
    });
}

class DBusUserNotifications : public UserNotifications {
public:
    // The service answering is the permission: it has no other way to refuse.
    void requestAuthorization(AuthorizationReply reply) override {
        callAsync(QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetServerInformation")),
                  [reply](const QDBusMessage&, const QString& error) { reply(error.isEmpty(), error); });
    }

    void add(const UserNotificationRequest& request, DeliveryReply reply) override {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
        QVariantMap hints;
        hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("pierline"));
        if (request.playSound)
            hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
        call << QStringLiteral("Pierline") << quint32(0) << QString() << request.title << request.body << QStringList()
             << hints << qint32(kServerDefaultTimeout);
        callAsync(call, [reply](const QDBusMessage&, const QString& error) { reply(error); });
    }
};

} // namespace

namespace desktop {

std::unique_ptr<UserNotifications> createUserNotifications() {
    return std::make_unique<DBusUserNotifications>();
}

} // namespace desktop
} // namespace pierline
