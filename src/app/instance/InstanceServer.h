#pragma once

#include "Frame.h"
#include "Messages.h"

#include <QHash>
#include <QList>
#include <QLocalServer>
#include <QPointer>
#include <functional>

class QLocalSocket;

namespace pierline {

// The running app's end of the local socket: takes command requests from callers of the same
// user, runs them one at a time on the main thread and sends each caller its reply.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    using Runner = std::function<CommandReply(const CommandRequest&)>;

    explicit InstanceServer(Runner runner, QObject* parent = nullptr);
    ~InstanceServer() override;

    // Listens at `socketPath` (mode 0600), replacing a stale socket there. The caller holds the
    // instance lock, so no live app can be listening at that path.
    bool listen(const QString& socketPath, QString* error);
    void close(); // stops listening and removes the socket file

private:
    struct Pending {
        QPointer<QLocalSocket> socket;
        CommandRequest request;
    };

    void accept();
    void readFrom(QLocalSocket* socket);
    void drop(QLocalSocket* socket, const QString& why);
    void runNext();

    Runner runner_;
    QLocalServer server_;
    QString socketPath_;
    QHash<QLocalSocket*, FrameDecoder*> decoders_;
    QList<Pending> queue_;
    bool running_ = false;
};

} // namespace pierline
