#pragma once

#include "Frame.h"
#include "Messages.h"

#include "platform/Clock.h"

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace pierline {

class ConnectionHub;

struct InstanceLimits {
    int maxConnections = 64;
    double idleSeconds = 10;     // a connection that has not sent its whole request by then is closed
    double keepAliveSeconds = 2; // between signs of life to a waiting caller
};

// The running app's end of the local socket. Its own thread takes connections of the same
// user, reads their frames as they arrive, answers reading requests at once, and keeps every
// waiting caller told that the app lives; requests that change something run one at a time on
// the main thread.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    using Runner = std::function<CommandReply(const CommandRequest&)>; // on the main thread
    // A request answered on the server's thread, never behind a running one (nullopt: not such).
    using QuickAnswer = std::function<std::optional<CommandReply>(const CommandRequest&)>;

    using Limits = pierline::InstanceLimits;

    // `timers` null: timers of the server's own thread (tests pass virtual ones).
    explicit InstanceServer(Runner runner, QuickAnswer quick = {}, Limits limits = {}, Timers* timers = nullptr);
    ~InstanceServer() override;

    // Listens at `socketPath` (mode 0600), replacing a stale socket there. The caller holds the
    // instance lock, so no live app can be listening at that path.
    bool listen(const QString& socketPath, QString* error);
    void close(); // stops listening, cuts every connection and removes the socket file

    int connections() const;         // open now
    qsizetype bufferedBytes() const; // of requests not yet whole, over all connections

private:
    friend class ConnectionHub;

    void runOnMain(const CommandRequest& request, std::function<void(CommandReply)> done);

    Runner runner_;
    QThread thread_;
    ConnectionHub* hub_ = nullptr;
};

} // namespace pierline
