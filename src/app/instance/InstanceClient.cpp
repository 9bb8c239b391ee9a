#include "InstanceClient.h"

#include "platform/Clock.h"
#include "platform/LocalSocket.h"

namespace pierline {
namespace {

constexpr int kConnectLimitMs = 2000;
// How often the caller looks at its clock while nothing arrives.
constexpr int kPollMs = 100;

} // namespace

bool InstanceClient::appIsListening(const QString& socketPath) {
    LocalSocketClient socket;
    return socket.connect(socketPath, kConnectLimitMs);
}

InstanceClient::Answer InstanceClient::send(const QString& socketPath, const CommandRequest& request,
                                            double silenceLimitSeconds, const std::function<void(FrameKind)>& onFrame) {
    LocalSocketClient socket;
    if (!socket.connect(socketPath, kConnectLimitMs)) {
        // The app quit between finding it and talking to it.
        if (socket.noServer())
            return NotStarted{};
        return QStringLiteral("Pierline is not answering at %1: %2").arg(socketPath, socket.errorString());
    }
    // The app reads a request as it comes, so this waits no longer than it may stay silent.
    switch (socket.write(encodeFrame(FrameKind::Request, request.toPayload()),
                         static_cast<int>(silenceLimitSeconds * 1000))) {
    case LocalSocketClient::Outcome::Done:
        break;
    case LocalSocketClient::Outcome::Closed:
        return NotStarted{};
    case LocalSocketClient::Outcome::Timeout:
        return QStringLiteral("Pierline gave no sign of life for %1 s").arg(silenceLimitSeconds);
    case LocalSocketClient::Outcome::Failed:
        return QStringLiteral("Pierline is not answering at %1: %2").arg(socketPath, socket.errorString());
    }
    Clock& clock = Clock::shared();
    double lastSign = clock.monotonicSeconds();
    bool started = false;
    FrameDecoder decoder;
    while (true) {
        QByteArray bytes;
        const LocalSocketClient::Outcome read = socket.read(bytes, kPollMs);
        if (read == LocalSocketClient::Outcome::Timeout) {
            if (clock.monotonicSeconds() - lastSign > silenceLimitSeconds)
                return QStringLiteral("Pierline gave no sign of life for %1 s").arg(silenceLimitSeconds);
            continue;
        }
        if (read != LocalSocketClient::Outcome::Done) {
            if (!started)
                return NotStarted{};
            return QStringLiteral("Pierline quit or closed the connection before it answered");
        }
        decoder.feed(bytes);
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
