#include "PlankSession.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/SessionBus.h"
#include "platform/Url.h"
#include "platform/linux/ProcessTable.h"
#include "targets/DockTargetError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace pierline {
namespace {

constexpr double kPollSeconds = 0.02;
// The dock a plain `plank` serves.
const QString kPlainDock = QStringLiteral("dock1");
// After SIGKILL only the bus has to notice the lost connection.
constexpr double kAfterKillSeconds = 2;
// How long the kernel may take to end a killed process (an event wait, not a poll).
constexpr int kKillWaitMs = 5000;

std::optional<QVariant> call(const QString& name, const QString& path, const QString& interface, const QString& method,
                             const QVariantList& arguments, const QString& signature) {
    return callSessionBus({name, path, interface, method, arguments, signature});
}

// Running and not a zombie (a zombie has let go of everything; only its parent has to reap it).
bool processAlive(qint64 pid) {
    const auto stat = ProcessTable().stat(pid);
    return stat && !stat->finished();
}

// Waits for the kernel to end a process sent SIGKILL: a stopped or deadlocked Plank goes at once,
// but not synchronously with the signal.
bool waitUntilKilled(qint64 pid) {
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd < 0)
        return errno == ESRCH; // already gone (or reaped)
    pollfd ready{fd, POLLIN, 0};
    int rc = 0;
    do {
        rc = ::poll(&ready, 1, kKillWaitMs);
    } while (rc < 0 && errno == EINTR);
    ::close(fd);
    return rc > 0 || !processAlive(pid);
}

QStringList processEnvironment(qint64 pid) {
    QStringList out;
    for (const QByteArray& entry : ProcessTable().file(pid, "environ").split('\0'))
        if (entry.contains('='))
            out << QString::fromLocal8Bit(entry);
    return out;
}

QString findProgram(const QStringList& environment) {
    for (const QString& entry : environment)
        if (entry.startsWith(QLatin1String("PATH=")))
            if (QString found =
                    QStandardPaths::findExecutable(QStringLiteral("plank"), entry.mid(5).split(QLatin1Char(':')));
                !found.isEmpty())
                return found;
    return PlankSession::installedProgram();
}

QString localPath(const QString& uri) {
    return QDir::cleanPath(filePathOfLocation(uri).value_or(uri));
}

// Whether `expected` appears in `shown` in the same order.
bool showsInOrder(const QStringList& expected, const QStringList& shown) {
    qsizetype at = 0;
    for (const QString& uri : shown)
        if (at < expected.size() && localPath(uri) == localPath(expected[at]))
            ++at;
    return at == expected.size();
}

} // namespace

const Logger& plankLog() {
    static const Logger logger(QStringLiteral("Plank"));
    return logger;
}

PlankSession::PlankSession(QString dock) : dock_(std::move(dock)) {}

QList<PlankSession::Endpoint> PlankSession::endpoints() const {
    QList<Endpoint> out{
        {QStringLiteral("net.launchpad.plank.") + dock_, QStringLiteral("/net/launchpad/plank/") + dock_}};
    if (dock_ == kPlainDock)
        out.append({QStringLiteral("net.launchpad.plank"), QStringLiteral("/net/launchpad/plank")});
    return out;
}

std::optional<PlankSession::Endpoint> PlankSession::runningEndpoint() const {
    for (const Endpoint& endpoint : endpoints())
        if (call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"), {endpoint.busName},
                 QStringLiteral("b"))
                .value_or(QVariant(false))
                .toBool())
            return endpoint;
    return std::nullopt;
}

// Every Plank keeps a dock's items under its name, whichever bus name it owns.
QString PlankSession::itemsPath() const {
    return QStringLiteral("/net/launchpad/plank/") + dock_;
}

QString PlankSession::installedProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("plank"));
}

std::optional<qint64> PlankSession::runningPid() const {
    const std::optional<Endpoint> endpoint = runningEndpoint();
    if (!endpoint)
        return std::nullopt;
    const std::optional<QVariant> pid =
        call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
             QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"), {endpoint->busName},
             QStringLiteral("u"));
    if (!pid)
        return std::nullopt;
    return static_cast<qint64>(pid->toUInt());
}

std::optional<QStringList> PlankSession::persistentApplications() const {
    const std::optional<Endpoint> endpoint = runningEndpoint();
    if (!endpoint)
        return std::nullopt;
    const std::optional<QVariant> uris =
        call(endpoint->busName, itemsPath(), QStringLiteral("net.launchpad.plank.Items"),
             QStringLiteral("GetPersistentApplications"), {}, QStringLiteral("as"));
    if (!uris)
        return std::nullopt;
    return uris->toStringList();
}

PlankSession::Launch PlankSession::stop(qint64 pid, double timeoutSeconds) const {
    Launch launch;
    launch.environment = processEnvironment(pid);
    if (launch.environment.isEmpty())
        launch.environment = QProcessEnvironment::systemEnvironment().toStringList();
    launch.program = findProgram(launch.environment);
    const QList<QByteArray> commandLine = ProcessTable().cmdline(pid);
    if (!commandLine.isEmpty()) {
        launch.arguments.emplace();
        for (qsizetype i = 1; i < commandLine.size(); ++i)
            launch.arguments->append(QString::fromLocal8Bit(commandLine[i]));
    }
    launch.workingDirectory = QFile::decodeName(ProcessTable().cwd(pid));
    if (launch.workingDirectory.isEmpty() || !QFileInfo(launch.workingDirectory).isDir())
        launch.workingDirectory = QFileInfo(QDir::homePath()).isDir() ? QDir::homePath() : QDir::rootPath();

    // A new Plank would only hand over to the old one while it still holds the name.
    const auto gone = [&] { return !processAlive(pid) && !runningPid(); };
    Clock& clock = Clock::shared();
    const double start = clock.monotonicSeconds();
    const auto waitUntilGone = [&](double untilSeconds) {
        while (!gone()) {
            if (clock.monotonicSeconds() - start >= untilSeconds)
                return false;
            clock.sleep(kPollSeconds);
        }
        return true;
    };
    const auto signal = [&](int number, const char* name) {
        if (::kill(static_cast<pid_t>(pid), number) != 0 && errno != ESRCH)
            throw DockTargetError(QStringLiteral("cannot stop Plank (pid %1) with %2: %3")
                                      .arg(pid)
                                      .arg(QLatin1String(name), QString::fromLocal8Bit(std::strerror(errno)))
                                      .toStdString());
    };

    if (const std::optional<Endpoint> endpoint = runningEndpoint())
        call(endpoint->busName, endpoint->applicationPath, QStringLiteral("org.gtk.Actions"),
             QStringLiteral("Activate"), {QStringLiteral("quit"), QVariantList(), QVariantMap()}, QString());
    if (waitUntilGone(timeoutSeconds / 2))
        return launch;
    plankLog().info(QStringLiteral("Plank (pid %1) did not quit; sending SIGTERM").arg(pid));
    signal(SIGTERM, "SIGTERM");
    if (waitUntilGone(timeoutSeconds))
        return launch;
    plankLog().error(
        QStringLiteral("Plank (pid %1) did not stop within %2 s; killing it").arg(pid).arg(timeoutSeconds));
    signal(SIGKILL, "SIGKILL");
    if (!waitUntilKilled(pid) || !waitUntilGone(timeoutSeconds + kAfterKillSeconds))
        throw DockTargetError(
            QStringLiteral("Plank (pid %1) did not stop within %2 s").arg(pid).arg(timeoutSeconds).toStdString());
    return launch;
}

qint64 PlankSession::start(const Launch& launch) const {
    if (launch.program.isEmpty())
        throw DockTargetError("plank is not installed (no `plank` on PATH)");
    QProcess process;
    process.setProgram(launch.program);
    process.setArguments(launch.arguments.value_or(QStringList{QStringLiteral("-n"), dock_}));
    process.setEnvironment(launch.environment);
    process.setWorkingDirectory(launch.workingDirectory);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // Its own session: closing the terminal that ran the switch must not take the dock with it.
    process.setChildProcessModifier([] { ::setsid(); });
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        throw DockTargetError(
            QStringLiteral("cannot start %1: %2").arg(launch.program, process.errorString()).toStdString());
    return pid;
}

void PlankSession::waitUntilShowing(qint64 pid, const QStringList& expected, double timeoutSeconds) const {
    Clock& clock = Clock::shared();
    const double deadline = clock.monotonicSeconds() + timeoutSeconds;
    std::optional<QStringList> shown;
    while (clock.monotonicSeconds() < deadline) {
        if (!processAlive(pid))
            throw DockTargetError(QStringLiteral("Plank exited right after it was started again; run `plank -n %1` "
                                                 "in a terminal to see why")
                                      .arg(dock_)
                                      .toStdString());
        if (auto answer = persistentApplications()) {
            if (showsInOrder(expected, *answer))
                return;
            shown = answer;
        }
        clock.sleep(kPollSeconds);
    }
    if (!shown)
        throw DockTargetError(
            QStringLiteral("Plank did not come back on the session bus within %1 s").arg(timeoutSeconds).toStdString());
    throw DockTargetError(QStringLiteral("Plank shows the apps [%1] instead of [%2]")
                              .arg(shown->join(QStringLiteral(", ")), expected.join(QStringLiteral(", ")))
                              .toStdString());
}

} // namespace pierline
