#include "InstanceClient.h"

#include "platform/Clock.h"

#include <QLocalSocket>

namespace pierline {
namespace {

constexpr int kConnectLimitMs = 2000;
// How often the caller looks at its clock while nothing arrives.
constexpr int kPollMs = 100;

} // namespace

bool InstanceClient::appIsListening(const QString& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    const bool connected = socket.waitForConnected(kConnectLimitMs);
    socket.abort();
    return connected;
}

InstanceClient::Answer InstanceClient::send(const QString& socketPath, const CommandRequest& request,
                                            double silenceLimitSeconds, const std::function<void(FrameKind)>& onFrame) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(kConnectLimitMs)) {
        // The app quit between finding it and talking to it.
        if (socket.error() == QLocalSocket::ServerNotFoundError ||
            socket.error() == QLocalSocket::ConnectionRefusedError)
            return NotStarted{};
        return QStringLiteral("Pierline is not answering at %1: %2").arg(socketPath, socket.errorString());
    }
    socket.write(encodeFrame(FrameKind::Request, request.toPayload()));
    Clock& clock = Clock::shared();
    double lastSign = clock.monotonicSeconds();
    bool started = false;
    FrameDecoder decoder;
    while (true) {
        if (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(kPollMs);
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kPollMs)) {
            if (socket.state() != QLocalSocket::ConnectedState) {
                if (!started)
                    return NotStarted{};
                return QStringLiteral("Pierline quit or closed the connection before it answered");
            }
            if (clock.monotonicSeconds() - lastSign > silenceLimitSeconds)
                return QStringLiteral("Pierline gave no sign of life for %1 s").arg(silenceLimitSeconds);
            continue;
        }
        decoder.feed(socket.readAll());
        while (auto frame = decoder.next()) {
            lastSign = clock.monotonicSeconds();
            if (frame->kind == FrameKind::Reply) {
                auto reply = CommandReply::fromPayload(frame->payload);
                if (const auto* error = std::get_if<QString>(&reply))
                    return QStringLiteral("Pierline sent a bad reply: %1").arg(*error);
                return std::get<CommandReply>(reply);
            }
            if (frame->kind == FrameKind::Request)
                return QStringLiteral("Pierline sent a request where its answer belongs");
            if (frame->kind == FrameKind::Started)
                started = true;
            if (onFrame)
                onFrame(frame->kind);
        }
        if (decoder.failed())
            return QStringLiteral("Pierline sent a bad reply: %1").arg(decoder.error());
    }
}

} // namespace pierline
