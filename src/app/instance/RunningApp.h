#pragma once

#include "InstanceServer.h"

#include "platform/FileLock.h"
#include "platform/InstanceChannel.h"

#include <QDateTime>
#include <memory>

namespace pierline {

// This process as the running app of its home: the only one (the instance lock), reachable
// through the local socket, ended cleanly by SIGTERM/SIGINT or `pierline quit`.
class RunningApp {
public:
    // The app in this process while `pierline run` is active, else null.
    static RunningApp* current();

    // Takes the instance lock and listens. Returns the exit code to end with when this process
    // must not become the app: 0 after "Pierline is already running (pid N)", 1 on a failure
    // (printed). nullopt: the app is up; run the event loop, then call shutDown().
    std::optional<int> start(InstanceServer::Runner runner);
    void shutDown();    // closes the socket and releases the lock
    void requestQuit(); // after the current request's reply has gone out

    qint64 pid() const;
    QString home() const { return home_; }
    QString socketPath() const { return address_.socketPath; }
    qint64 uptimeSeconds() const;

    RunningApp() = default;
    ~RunningApp();

private:
    QString home_;
    InstanceAddress address_;
    std::unique_ptr<FileLock> lock_;
    std::unique_ptr<InstanceServer> server_;
    QDateTime startedAt_;
};

} // namespace pierline
