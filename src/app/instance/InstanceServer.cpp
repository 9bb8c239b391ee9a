#include "InstanceServer.h"

#include "platform/InstanceChannel.h"
#include "platform/Log.h"

#include <QFile>
#include <QLocalSocket>
#include <QMetaObject>

namespace pierline {
namespace {

const Logger& log() {
    static const Logger logger(QStringLiteral("AppDelegate"));
    return logger;
}

} // namespace

InstanceServer::InstanceServer(Runner runner, QObject* parent) : QObject(parent), runner_(std::move(runner)) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer() {
    // The sockets belong to server_, which is destroyed after this body: their handlers must not
    // reach the decoders freed here, nor a half-destroyed server.
    for (auto it = decoders_.begin(); it != decoders_.end(); ++it) {
        disconnect(it.key(), nullptr, this, nullptr);
        delete it.value();
    }
    decoders_.clear();
    close();
}

bool InstanceServer::listen(const QString& socketPath, QString* error) {
    QLocalServer::removeServer(socketPath);
    if (!server_.listen(socketPath)) {
        if (error)
            *error = QStringLiteral("cannot listen at %1: %2").arg(socketPath, server_.errorString());
        return false;
    }
    socketPath_ = socketPath;
    if (!QFile::setPermissions(socketPath, QFile::ReadOwner | QFile::WriteOwner)) {
        if (error)
            *error = QStringLiteral("cannot make %1 private to its user").arg(socketPath);
        close();
        return false;
    }
    return true;
}

void InstanceServer::close() {
    if (!server_.isListening())
        return;
    server_.close();
    QLocalServer::removeServer(socketPath_);
}

void InstanceServer::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        const auto peer = peerUserId(socket->socketDescriptor());
        if (!peer || *peer != currentUserId()) {
            printLine(QStringLiteral("[Pierline] Refused a connection from user %1")
                          .arg(peer ? QString::number(*peer) : QStringLiteral("unknown")));
            log().error(QStringLiteral("Refused a local connection from uid %1")
                            .arg(peer ? QString::number(*peer) : QStringLiteral("unknown")));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        decoders_.insert(socket, new FrameDecoder);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            if (FrameDecoder* decoder = decoders_.take(socket)) {
                if (decoder->pending() > 0)
                    log().error(QStringLiteral("Dropped a truncated frame of %1 bytes").arg(decoder->pending()));
                delete decoder;
            }
            socket->deleteLater();
        });
    }
}

void InstanceServer::readFrom(QLocalSocket* socket) {
    FrameDecoder* decoder = decoders_.value(socket);
    if (!decoder)
        return;
    decoder->feed(socket->readAll());
    while (auto frame = decoder->next()) {
        if (frame->kind != FrameKind::Request) {
            drop(socket, QStringLiteral("a reply frame where a request belongs"));
            return;
        }
        auto request = CommandRequest::fromPayload(frame->payload);
        if (const auto* error = std::get_if<QString>(&request)) {
            drop(socket, *error);
            return;
        }
        queue_.append({socket, std::get<CommandRequest>(std::move(request))});
    }
    if (decoder->failed()) {
        drop(socket, decoder->error());
        return;
    }
    if (!queue_.isEmpty() && !running_)
        QMetaObject::invokeMethod(this, &InstanceServer::runNext, Qt::QueuedConnection);
}

void InstanceServer::drop(QLocalSocket* socket, const QString& why) {
    log().error(QStringLiteral("Dropped a bad frame: %1").arg(why));
    printLine(QStringLiteral("[Pierline] Dropped a bad request: %1").arg(why));
    socket->abort();
}

void InstanceServer::runNext() {
    if (running_)
        return;
    running_ = true;
    while (!queue_.isEmpty()) {
        const Pending next = queue_.takeFirst();
        if (!next.socket || next.socket->state() != QLocalSocket::ConnectedState)
            continue;
        // The command may spin a local event loop (an apply waits for its side effects); requests
        // that arrive meanwhile wait in the queue.
        const CommandReply reply = runner_(next.request);
        if (next.socket && next.socket->state() == QLocalSocket::ConnectedState) {
            next.socket->write(encodeFrame(FrameKind::Reply, reply.toPayload()));
            next.socket->flush();
        }
    }
    running_ = false;
}

} // namespace pierline
