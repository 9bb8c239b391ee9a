#pragma once

#include "InstanceServer.h"

#include "platform/FileLock.h"
#include "platform/InstanceChannel.h"

#include <QDateTime>
#include <atomic>
#include <memory>
#include <optional>
#include <variant>

namespace pierline {

// What the running app records in its lock file in the home, for every caller of that home.
struct AppRecord {
    qint64 pid = 0;
    QString socketPath;

    QByteArray toContent() const;
    static std::optional<AppRecord> fromContent(const QByteArray& content);
};

// The record in the lock file at `lockPath`, or why it cannot be read; nullopt when there is none.
std::optional<std::variant<AppRecord, QString>> readAppRecord(const QString& lockPath);

// This process as the running app of its home: the only one (the instance lock), reachable
// through the local socket, ended cleanly by SIGTERM/SIGINT or `pierline quit`.
class RunningApp {
public:
    // The app in this process while `pierline run` is active, else null.
    static RunningApp* current();

    // The app that runs on this home and answers at its recorded socket, if any. `problem`
    // tells why an app that holds the home must not be talked to (its record is damaged, or its
    // socket folder is not private to this user).
    static std::optional<AppRecord> find(QString* problem = nullptr);

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
    // Set once every part of the app is up. Until then a status request queues behind the
    // start-up like any other, so "running" means its hotkeys and windows are there.
    void markReady() { ready_.store(true); }
    bool ready() const { return ready_.load(); }

    RunningApp() = default;
    ~RunningApp();

private:
    // Sets or, when it is `app`, clears the app current() answers.
    static void makeCurrent(RunningApp* app, bool current);

    QString home_;
    QString lockPath_;
    InstanceAddress address_;
    std::unique_ptr<FileLock> lock_;
    std::unique_ptr<InstanceServer> server_;
    QDateTime startedAt_;
    std::atomic<bool> ready_{false};
};

} // namespace pierline
