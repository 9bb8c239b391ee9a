#include "InstanceClient.h"

#include "Frame.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

namespace pierline {
namespace {

constexpr int kConnectLimitMs = 2000;

} // namespace

bool InstanceClient::appIsListening(const QString& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    const bool connected = socket.waitForConnected(kConnectLimitMs);
    socket.abort();
    return connected;
}

std::variant<CommandReply, QString> InstanceClient::send(const QString& socketPath, const CommandRequest& request,
                                                         int answerLimitMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kConnectLimitMs))
        return QStringLiteral("Pierline is not answering at %1: %2").arg(socketPath, socket.errorString());
    socket.write(encodeFrame(FrameKind::Request, request.toPayload()));
    const QDeadlineTimer deadline(answerLimitMs);
    FrameDecoder decoder;
    while (true) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
            return QStringLiteral("Pierline quit or closed the connection before it answered");
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (deadline.hasExpired())
                return QStringLiteral("Pierline did not answer in %1 s").arg(answerLimitMs / 1000);
            if (socket.state() != QLocalSocket::ConnectedState)
                return QStringLiteral("Pierline quit or closed the connection before it answered");
            continue;
        }
        decoder.feed(socket.readAll());
        if (auto frame = decoder.next()) {
            if (frame->kind != FrameKind::Reply)
                return QStringLiteral("Pierline sent something other than a reply");
            auto reply = CommandReply::fromPayload(frame->payload);
            if (const auto* error = std::get_if<QString>(&reply))
                return QStringLiteral("Pierline sent a bad reply: %1").arg(*error);
            return std::get<CommandReply>(reply);
        }
        if (decoder.failed())
            return QStringLiteral("Pierline sent a bad reply: %1").arg(decoder.error());
    }
}

} // namespace pierline
