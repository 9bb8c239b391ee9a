#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {

// The Plank process of one dock in the user's session, found through its name on the session
// bus (`net.launchpad.plank.<dock>`). Waits poll the real process against the shared clock.
class PlankSession {
public:
    explicit PlankSession(QString dock);

    // Whether there is a session bus to look on (none: Plank cannot be seen, nor started there).
    static bool hasSessionBus();

    // The pid that owns the dock's bus name; nullopt when Plank does not run or there is no bus.
    std::optional<qint64> runningPid() const;

    // What a stopped Plank ran with, to start it again the same way.
    struct Launch {
        QString program;
        QStringList environment; // KEY=value
        QString workingDirectory;
    };
    // Stops the Plank with `pid` and waits until it and its bus name are gone. Throws
    // DockTargetError when it does not stop within `timeoutSeconds`.
    Launch stop(qint64 pid, double timeoutSeconds) const;
    // Starts `plank -n <dock>` detached, in a session of its own; throws DockTargetError.
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
    QString busName() const;
    QString objectPath() const;

    QString dock_;
};

} // namespace pierline
