// The desktop notification service over D-Bus, against a fake org.freedesktop.Notifications on
// the private session bus this suite runs in (dbus-run-session): the permission request and the
// shortcut manager's line about it, and what a notification carries.
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/TempHome.h"

#include "platform/UserNotifications.h"
#include "triggers/ShortcutManager.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <gtest/gtest.h>
#include <optional>

using namespace pierline;
using namespace pierline::test;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The notification server, on a connection of its own so calls really cross the bus.
class FakeServer : public QDBusVirtualObject {
public:
    FakeServer() : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-server"))) {}
    ~FakeServer() override { stop(); }

    bool start() {
        return bus_.isConnected() && bus_.registerVirtualObject(kPath, this) && bus_.registerService(kService);
    }
    void stop() {
        bus_.unregisterService(kService);
        bus_.unregisterObject(kPath);
    }

    std::optional<QString> refuseNotify; // an error name to answer Notify with
    QList<QVariantList> notifies;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() == QLatin1String("GetServerInformation")) {
            connection.send(message.createReply(QVariantList{"fake", "pierline", "1", "1.2"}));
        } else if (message.member() == QLatin1String("Notify")) {
            notifies.append(message.arguments());
            connection.send(refuseNotify ? message.createErrorReply(*refuseNotify, QStringLiteral("no room"))
                                         : message.createReply(QVariantList{quint32(notifies.size())}));
        } else {
            return false;
        }
        return true;
    }

private:
    QDBusConnection bus_;
};

class Notifications : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected())
            << "this suite runs on a private session bus: dbus-run-session -- "
            << "notifications_tests";
    }

    // What the platform's service answers a permission request.
    std::pair<bool, QString> authorization() {
        std::optional<std::pair<bool, QString>> answer;
        UserNotifications::shared().requestAuthorization(
            [&](bool granted, const QString& error) { answer.emplace(granted, error); });
        EXPECT_TRUE(waitUntil([&] { return answer.has_value(); }));
        return answer.value_or(std::pair{false, QString()});
    }

    std::optional<QString> deliver(const UserNotificationRequest& request) {
        std::optional<QString> error;
        UserNotifications::shared().add(request, [&](const QString& e) { error = e; });
        EXPECT_TRUE(waitUntil([&] { return error.has_value(); }));
        return error;
    }

    // The shortcut manager asks at start and says what came of it.
    QStringList managerLines() {
        CapturingLogSink log;
        ShortcutManager manager;
        waitUntil([&] { return !log.plainLines().filter("notification permissions", Qt::CaseInsensitive).isEmpty(); });
        return log.plainLines();
    }

    TempHome home_;
    FakeServer server_;
};

} // namespace

TEST_F(Notifications, PermissionIsTheServiceAnswering) {
    // Nobody serves notifications yet: no permission, and the reason is told.
    const auto [refused, why] = authorization();
    EXPECT_FALSE(refused);
    EXPECT_TRUE(why.contains("org.freedesktop.Notifications")) << why.toStdString();
    const QStringList errorLines = managerLines().filter("Error requesting notification permissions: ");
    ASSERT_EQ(errorLines.size(), 1);
    EXPECT_TRUE(errorLines.first().contains("ServiceUnknown")) << errorLines.first().toStdString();

    ASSERT_TRUE(server_.start());
    const auto [granted, error] = authorization();
    EXPECT_TRUE(granted);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_TRUE(managerLines().contains("Notification permissions granted"));
}

TEST_F(Notifications, NotifyCarriesTitleAndBodyAndAFailureComesBack) {
    ASSERT_TRUE(server_.start());
    const UserNotificationRequest request{"pierline-preset-update-1", "Preset Updated",
                                          "Successfully updated 'Wörk' with current dock state", true};
    EXPECT_EQ(deliver(request), QString());
    ASSERT_EQ(server_.notifies.size(), 1);
    const QVariantList call = server_.notifies.first();
    ASSERT_EQ(call.size(), 8);
    EXPECT_EQ(call[0].toString(), "Pierline");
    EXPECT_EQ(call[3].toString(), request.title);
    EXPECT_EQ(call[4].toString(), request.body);

    server_.refuseNotify = QStringLiteral("org.freedesktop.Notifications.Error.Full");
    const std::optional<QString> refused = deliver(request);
    ASSERT_TRUE(refused.has_value());
    EXPECT_TRUE(refused->contains("no room")) << refused->toStdString();
    EXPECT_TRUE(refused->contains("Error.Full")) << refused->toStdString();
}
