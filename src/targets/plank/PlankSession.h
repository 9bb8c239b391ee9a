#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {

class Logger;
// The structured log category of everything Plank.
const Logger& plankLog();

// The Plank process of one dock in the user's session, found through its name on the session
// bus: `plank -n <dock>` owns `net.launchpad.plank.<dock>`; a plain `plank` (as its desktop file and
// autostart run it) owns `net.launchpad.plank` and serves the dock "dock1". Waits poll the real
// process against the shared clock.
class PlankSession {
public:
    explicit PlankSession(QString dock);

    // The pid that owns the dock's bus name; nullopt when Plank does not run or there is no bus.
    std::optional<qint64> runningPid() const;

    // What a stopped Plank ran with, to start it again the same way.
    struct Launch {
        QString program;
        std::optional<QStringList> arguments; // as it ran, when known: a plain `plank` comes back plain
        QStringList environment;              // KEY=value
        QString workingDirectory;
    };
    // Stops the Plank with `pid` and waits until it and its bus name are gone: its own quit action
    // first (its SIGTERM handler can deadlock), SIGTERM when it has not gone within half of
    // `timeoutSeconds`, SIGKILL after the whole of it. Throws DockTargetError when even that fails.
    Launch stop(qint64 pid, double timeoutSeconds) const;
    // Starts Plank with the launch's arguments (`-n <dock>` when they are not known) detached, in a
    // session of its own; throws DockTargetError.
    qint64 start(const Launch& launch) const;
    // Waits until the started Plank answers GetPersistentApplications with `expected` in that
    // order (other apps may stand between them). Throws DockTargetError when it exits, does not
    // answer or shows something else within `timeoutSeconds`.
    void waitUntilShowing(qint64 pid, const QStringList& expected, double timeoutSeconds) const;

    // The launcher URIs of the apps Plank keeps; nullopt when it does not answer.
    std::optional<QStringList> persistentApplications() const;

    // The program to start when there is no Plank to copy: `plank` on PATH.
    static QString installedProgram();

private:
    // The bus name and application object path of each way this dock's Plank may run.
    struct Endpoint {
        QString busName;
        QString applicationPath;
    };
    QList<Endpoint> endpoints() const;
    // The one that is on the bus now, if any.
    std::optional<Endpoint> runningEndpoint() const;
    QString itemsPath() const;

    QString dock_;
};

} // namespace pierline
