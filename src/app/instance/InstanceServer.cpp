#include "InstanceServer.h"

#include "platform/InstanceChannel.h"
#include "platform/Log.h"

#include <QFile>
#include <QHash>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QPointer>

namespace pierline {
namespace {

const Logger& log() {
    static const Logger logger(QStringLiteral("AppDelegate"));
    return logger;
}

// What Qt itself may buffer of a connection beyond the frame under way.
constexpr qint64 kSocketBuffer = 64 * 1024;

} // namespace

// Lives on the server's thread; everything below runs there.
class ConnectionHub : public QObject {
public:
    ConnectionHub(InstanceServer& owner, InstanceServer::QuickAnswer quick, InstanceServer::Limits limits,
                  Timers* timers)
        : owner_(owner), quick_(std::move(quick)), limits_(limits), injectedTimers_(timers) {
        if (!injectedTimers_)
            ownTimers_ = createSystemTimers(this);
    }

    bool listen(const QString& socketPath, QString* error) {
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        server_->setMaxPendingConnections(limits_.maxConnections);
        connect(server_, &QLocalServer::newConnection, this, &ConnectionHub::accept);
        QLocalServer::removeServer(socketPath);
        if (!server_->listen(socketPath)) {
            *error = QStringLiteral("cannot listen at %1: %2").arg(socketPath, server_->errorString());
            return false;
        }
        socketPath_ = socketPath;
        if (!QFile::setPermissions(socketPath, QFile::ReadOwner | QFile::WriteOwner)) {
            *error = QStringLiteral("cannot make %1 private to its user").arg(socketPath);
            close();
            return false;
        }
        keepAlive_ = timers().schedule(limits_.keepAliveSeconds, true, [this] { onHub([this] { sendKeepAlives(); }); });
        return true;
    }

    void close() {
        if (keepAlive_) {
            timers().cancel(keepAlive_);
            keepAlive_ = 0;
        }
        // Cut from their handlers before they go: a disconnect must not come back to a freed entry.
        for (auto it = connections_.begin(); it != connections_.end(); ++it) {
            disconnect(it.key(), nullptr, this, nullptr);
            if (it->idleTimer)
                timers().cancel(it->idleTimer);
            it.key()->abort();
            delete it.key();
        }
        connections_.clear();
        queue_.clear();
        if (server_) {
            server_->close();
            delete server_;
            server_ = nullptr;
            QLocalServer::removeServer(socketPath_);
        }
    }

    int count() const { return static_cast<int>(connections_.size()); }
    qsizetype buffered() const {
        qsizetype total = 0;
        for (const Connection& connection : connections_)
            total += connection.decoder.pending();
        return total;
    }

private:
    enum class State { Reading, Queued, Running, Done };
    struct Connection {
        FrameDecoder decoder;
        State state = State::Reading;
        CommandRequest request;
        TimerId idleTimer = 0;
    };

    Timers& timers() { return injectedTimers_ ? *injectedTimers_ : *ownTimers_; }

    // Timer callbacks may come on another thread (virtual timers fire where a test advances).
    void onHub(std::function<void()> work) { QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection); }

    void accept() {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            const auto peer = peerUserId(socket->socketDescriptor());
            if (!peer || *peer != currentUserId()) {
                const QString who = peer ? QString::number(*peer) : QStringLiteral("unknown");
                printLine(QStringLiteral("[Pierline] Refused a connection from user %1").arg(who));
                log().error(QStringLiteral("Refused a local connection from uid %1").arg(who));
                socket->abort();
                delete socket;
                continue;
            }
            if (connections_.size() >= limits_.maxConnections) {
                log().error(QStringLiteral("Refused a local connection: %1 are open").arg(connections_.size()));
                const QByteArray busy = QStringLiteral("Pierline has %1 open connections, its limit; try again\n")
                                            .arg(limits_.maxConnections)
                                            .toUtf8();
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                socket->write(encodeFrame(FrameKind::Reply, CommandReply{1, {}, busy}.toPayload()));
                socket->disconnectFromServer();
                continue;
            }
            socket->setReadBufferSize(kSocketBuffer);
            connections_.insert(socket, Connection{});
            armIdleTimer(socket);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QLocalSocket::disconnected, this, [this, socket] { forget(socket); });
        }
    }

    void armIdleTimer(QLocalSocket* socket) {
        Connection& connection = connections_[socket];
        if (connection.idleTimer)
            timers().cancel(connection.idleTimer);
        QPointer<QLocalSocket> guard(socket);
        connection.idleTimer = timers().schedule(limits_.idleSeconds, false, [this, guard] {
            onHub([this, guard] {
                if (!guard || !connections_.contains(guard) || connections_[guard].state != State::Reading)
                    return;
                log().error(QStringLiteral("Closed a connection idle for %1 s with %2 bytes of a request")
                                .arg(limits_.idleSeconds)
                                .arg(connections_[guard].decoder.pending()));
                connections_[guard].idleTimer = 0;
                guard->abort();
            });
        });
    }

    void forget(QLocalSocket* socket) {
        auto it = connections_.find(socket);
        if (it != connections_.end()) {
            if (it->decoder.pending() > 0)
                log().error(QStringLiteral("Dropped a truncated frame of %1 bytes").arg(it->decoder.pending()));
            if (it->idleTimer)
                timers().cancel(it->idleTimer);
            connections_.erase(it);
            queue_.removeAll(socket);
        }
        socket->deleteLater();
    }

    void readFrom(QLocalSocket* socket) {
        auto it = connections_.find(socket);
        if (it == connections_.end())
            return;
        if (it->state != State::Reading) {
            // One request per connection: anything after it is not ours to keep.
            if (socket->bytesAvailable() > 0)
                drop(socket, QStringLiteral("bytes after the request"));
            return;
        }
        FrameDecoder& decoder = it->decoder;
        bool arrived = false;
        while (socket->bytesAvailable() > 0 && decoder.wanted() > 0) {
            const QByteArray bytes = socket->read(qMin(socket->bytesAvailable(), decoder.wanted()));
            decoder.feed(bytes);
            arrived = true;
            if (auto frame = decoder.next()) {
                if (frame->kind != FrameKind::Request)
                    return drop(
                        socket,
                        QStringLiteral("a %1 frame where a request belongs").arg(static_cast<int>(frame->kind)));
                auto request = CommandRequest::fromPayload(frame->payload);
                if (const auto* error = std::get_if<QString>(&request))
                    return drop(socket, *error);
                take(socket, std::get<CommandRequest>(std::move(request)));
                return;
            }
        }
        if (decoder.failed())
            return drop(socket, decoder.error());
        if (arrived)
            armIdleTimer(socket);
    }

    void take(QLocalSocket* socket, CommandRequest request) {
        Connection& connection = connections_[socket];
        if (connection.idleTimer) {
            timers().cancel(connection.idleTimer);
            connection.idleTimer = 0;
        }
        if (quick_) {
            if (auto reply = quick_(request)) {
                finish(socket, *reply);
                return;
            }
        }
        connection.state = State::Queued;
        connection.request = std::move(request);
        queue_.append(socket);
        runNext();
    }

    void drop(QLocalSocket* socket, const QString& why) {
        log().error(QStringLiteral("Dropped a bad frame: %1").arg(why));
        printLine(QStringLiteral("[Pierline] Dropped a bad request: %1").arg(why));
        socket->abort();
    }

    void runNext() {
        if (running_)
            return;
        while (!queue_.isEmpty()) {
            QPointer<QLocalSocket> socket = queue_.takeFirst();
            // A caller that left before its turn has nothing to wait for: its request is dropped.
            if (!socket || !connections_.contains(socket) || socket->state() != QLocalSocket::ConnectedState) {
                log().info(QStringLiteral("Dropped a request whose caller left before it started"));
                continue;
            }
            Connection& connection = connections_[socket];
            connection.state = State::Running;
            socket->write(encodeFrame(FrameKind::Started, {}));
            socket->flush();
            running_ = true;
            owner_.runOnMain(connection.request, [this, socket](CommandReply reply) {
                onHub([this, socket, reply = std::move(reply)] {
                    running_ = false;
                    if (socket)
                        finish(socket, reply);
                    runNext();
                });
            });
            return;
        }
    }

    void finish(QLocalSocket* socket, const CommandReply& reply) {
        if (connections_.contains(socket))
            connections_[socket].state = State::Done;
        if (socket->state() == QLocalSocket::ConnectedState) {
            socket->write(encodeFrame(FrameKind::Reply, reply.toPayload()));
            socket->flush();
        }
    }

    void sendKeepAlives() {
        for (auto it = connections_.begin(); it != connections_.end(); ++it) {
            if (it->state == State::Queued || it->state == State::Running) {
                it.key()->write(encodeFrame(FrameKind::KeepAlive, {}));
                it.key()->flush();
            }
        }
    }

    InstanceServer& owner_;
    InstanceServer::QuickAnswer quick_;
    InstanceServer::Limits limits_;
    Timers* injectedTimers_;
    std::unique_ptr<Timers> ownTimers_;
    QLocalServer* server_ = nullptr;
    QString socketPath_;
    QHash<QLocalSocket*, Connection> connections_;
    QList<QPointer<QLocalSocket>> queue_;
    bool running_ = false;
    TimerId keepAlive_ = 0;
};

InstanceServer::InstanceServer(Runner runner, QuickAnswer quick, Limits limits, Timers* timers)
    : runner_(std::move(runner)) {
    thread_.setObjectName(QStringLiteral("InstanceServer"));
    hub_ = new ConnectionHub(*this, std::move(quick), limits, timers);
    hub_->moveToThread(&thread_);
    thread_.start();
}

InstanceServer::~InstanceServer() {
    close();
    thread_.quit();
    thread_.wait();
    delete hub_;
}

bool InstanceServer::listen(const QString& socketPath, QString* error) {
    bool listening = false;
    QString why;
    QMetaObject::invokeMethod(
        hub_, [&] { listening = hub_->listen(socketPath, &why); }, Qt::BlockingQueuedConnection);
    if (!listening && error)
        *error = why;
    return listening;
}

void InstanceServer::close() {
    if (thread_.isRunning())
        QMetaObject::invokeMethod(
            hub_, [this] { hub_->close(); }, Qt::BlockingQueuedConnection);
}

int InstanceServer::connections() const {
    int count = 0;
    QMetaObject::invokeMethod(
        hub_, [&] { count = hub_->count(); }, Qt::BlockingQueuedConnection);
    return count;
}

qsizetype InstanceServer::bufferedBytes() const {
    qsizetype bytes = 0;
    QMetaObject::invokeMethod(
        hub_, [&] { bytes = hub_->buffered(); }, Qt::BlockingQueuedConnection);
    return bytes;
}

void InstanceServer::runOnMain(const CommandRequest& request, std::function<void(CommandReply)> done) {
    // The command may spin a local event loop (an apply waits for its side effects); the
    // server's thread goes on taking connections and answering meanwhile.
    QMetaObject::invokeMethod(
        this, [this, request, done = std::move(done)] { done(runner_(request)); }, Qt::QueuedConnection);
}

} // namespace pierline
