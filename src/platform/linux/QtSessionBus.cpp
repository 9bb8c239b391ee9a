#include "platform/SessionBusConnection.h"
#include "platform/linux/DesktopBackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QRegularExpression>

namespace pierline::desktop {
namespace {

// Names the bus would refuse are not sent: nothing can answer to them.
bool isBusName(const QString& name) {
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z_-][A-Za-z0-9_-]*(\\.[A-Za-z_-][A-Za-z0-9_-]*)+$"));
    return name.size() <= 255 && valid.match(name).hasMatch();
}

bool isObjectPath(const QString& path) {
    static const QRegularExpression valid(QStringLiteral("^(/[A-Za-z0-9_]+)+$"));
    return valid.match(path).hasMatch();
}

} // namespace

std::optional<QVariant> callSessionBus(const SessionBusCall& call) {
    if (!isBusName(call.service) || !isObjectPath(call.path))
        return std::nullopt;
    // Qt's connection neither ends the process when the bus goes away nor needs an event loop here.
    const std::optional<QDBusConnection> session = sessionBusConnection();
    if (!session || !session->isConnected())
        return std::nullopt;
    QDBusConnection bus = *session;
    QDBusMessage message = QDBusMessage::createMethodCall(call.service, call.path, call.interface, call.method);
    message.setArguments(call.arguments);
    message.setAutoStartService(false);
    const QDBusMessage reply = bus.call(message, QDBus::Block, call.timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != call.replySignature)
        return std::nullopt;
    return reply.arguments().value(0);
}

} // namespace pierline::desktop
