#include "platform/Workspace.h"

#include "ProcessTable.h"
#include "platform/Plist.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>

#include <csignal>
#include <unistd.h>

namespace pierline {
namespace {

const QString kMacOSMarker = QStringLiteral("/Contents/MacOS/");

// The .app folder that holds `path` in its Contents/MacOS/, or empty. Nested bundles (helpers)
// belong to the innermost bundle.
QString bundleOfExecutable(const QString& path) {
    const qsizetype at = path.lastIndexOf(kMacOSMarker);
    if (at <= 0)
        return {};
    const QString bundle = path.left(at);
    if (!bundle.endsWith(QLatin1String(".app")))
        return {};
    if (path.size() == at + kMacOSMarker.size())
        return {}; // the folder itself, no file
    return QDir::cleanPath(bundle);
}

// The bundle a process runs from: its executable, else the script the interpreter was given
// (a shebang script shows as "interpreter [option] script args...").
QString bundleOfProcess(const ProcessTable& proc, qint64 pid) {
    QString bundle = bundleOfExecutable(QFile::decodeName(proc.exe(pid)));
    if (!bundle.isEmpty())
        return bundle;

    const QList<QByteArray> args = proc.cmdline(pid);
    for (qsizetype i = 0; i < args.size() && i < 3; ++i) {
        if (!args[i].contains("/Contents/MacOS/"))
            continue;
        QString arg = QString::fromLocal8Bit(args[i]);
        if (!QDir::isAbsolutePath(arg)) {
            const QString cwd = QFile::decodeName(proc.cwd(pid));
            if (cwd.isEmpty())
                continue;
            arg = QDir(cwd).filePath(arg);
        }
        bundle = bundleOfExecutable(QDir::cleanPath(arg));
        if (!bundle.isEmpty())
            return bundle;
    }
    return {};
}

// Each PIERLINE_HOME is one emulated Mac: a process belongs to ours when it was started with our
// home, or without one while we use the default home too.
bool inOurHome(const ProcessTable& proc, qint64 pid) {
    static const QByteArray kKey = QByteArrayLiteral("PIERLINE_HOME=");
    QString theirs;
    for (const QByteArray& entry : proc.file(pid, "environ").split('\0')) {
        if (entry.startsWith(kKey))
            theirs = QString::fromLocal8Bit(entry.mid(kKey.size()));
    }
    const bool weHaveOne = qEnvironmentVariableIsSet("PIERLINE_HOME") && !qEnvironmentVariableIsEmpty("PIERLINE_HOME");
    if (theirs.isEmpty())
        return !weHaveOne;
    if (QDir::isRelativePath(theirs))
        theirs = QDir(QFile::decodeName(proc.cwd(pid))).filePath(theirs);
    return QDir::cleanPath(theirs) == SystemPaths::home();
}

class LinuxWorkspace : public Workspace {
public:
    std::optional<QVariantMap> infoPlist(const QString& bundlePath) const override {
        QFile file(QDir(bundlePath).filePath(QStringLiteral("Contents/Info.plist")));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const PlistParseResult parsed = parsePlist(file.readAll());
        if (!parsed.value || parsed.value->typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        return parsed.value->toMap();
    }

    std::optional<QString> bundleIdentifier(const QString& bundlePath) const override {
        const auto info = infoPlist(bundlePath);
        if (!info)
            return std::nullopt;
        const QString id = info->value(QStringLiteral("CFBundleIdentifier")).toString().trimmed();
        if (id.isEmpty())
            return std::nullopt;
        return id;
    }

    bool isApplication(const QString& bundlePath) const override {
        if (bundlePath.isEmpty() || !QFileInfo(bundlePath).isDir())
            return false;
        return !executablePath(bundlePath).isEmpty();
    }

    QList<RunningApplication> runningApplications() const override {
        struct Candidate {
            qint64 pid;
            qint64 ppid;
            QString bundle;
        };
        QList<Candidate> candidates;
        QHash<qint64, QString> bundleByPid;
        const ProcessTable proc;
        for (const qint64 pid : proc.pids()) {
            const QString bundle = bundleOfProcess(proc, pid);
            if (bundle.isEmpty() || proc.owner(pid) != ::getuid())
                continue;
            const auto stat = proc.stat(pid);
            if (!stat || stat->finished() || !inOurHome(proc, pid))
                continue;
            candidates.append({pid, stat->ppid, bundle});
            bundleByPid.insert(pid, bundle);
        }

        QHash<QString, std::optional<QVariantMap>> infoCache;
        QList<RunningApplication> apps;
        for (const Candidate& c : candidates) {
            // A child process of the same bundle (a helper, a script's subshell) is part of its
            // parent application, not an application of its own.
            if (bundleByPid.value(c.ppid) == c.bundle)
                continue;
            if (!infoCache.contains(c.bundle))
                infoCache.insert(c.bundle, infoPlist(c.bundle));
            const std::optional<QVariantMap>& info = infoCache[c.bundle];
            RunningApplication app;
            app.pid = c.pid;
            app.bundlePath = c.bundle;
            const QVariantMap values = info.value_or(QVariantMap{});
            const QString id = values.value(QStringLiteral("CFBundleIdentifier")).toString().trimmed();
            if (!id.isEmpty())
                app.bundleIdentifier = id;
            app.localizedName = displayNameFromInfo(values, c.bundle);
            app.activationPolicy = activationPolicyFromInfo(values);
            apps.append(app);
        }
        return apps;
    }

    bool terminate(qint64 pid) override { return pid > 0 && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0; }
    bool forceTerminate(qint64 pid) override { return pid > 0 && ::kill(static_cast<pid_t>(pid), SIGKILL) == 0; }

    bool isTerminated(qint64 pid) const override {
        if (pid <= 0)
            return true;
        const auto stat = ProcessTable().stat(pid);
        return !stat || stat->finished();
    }

    OpenResult openApplication(const QString& bundlePath) override {
        const QString bundle = QDir::cleanPath(bundlePath);
        for (const RunningApplication& app : runningApplications())
            if (app.bundlePath == bundle)
                return OpenResult::success(); // already running: brought forward
        return launch(bundle, {});
    }

    OpenResult openFile(const QString& filePath, const QString& applicationBundlePath) override {
        return launch(QDir::cleanPath(applicationBundlePath), {filePath});
    }

    OpenResult launchApplication(const QString& bundlePath, const QStringList& arguments,
                                 const QString& executableName) override {
        return launch(QDir::cleanPath(bundlePath), arguments, executableName);
    }

    std::optional<QString> applicationPath(const QString& bundleIdentifier) const override {
        // The applications folder and its subfolders (e.g. Utilities), not inside bundles.
        QStringList folders{SystemPaths::applicationsFolder()};
        for (int i = 0; i < folders.size(); ++i) {
            QDir dir(folders[i]);
            const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
            for (const QString& name : names) {
                const QString path = dir.filePath(name);
                if (name.endsWith(QLatin1String(".app"))) {
                    if (bundleIdentifier == this->bundleIdentifier(path))
                        return path;
                } else if (i == 0) {
                    folders.append(path);
                }
            }
        }
        return std::nullopt;
    }

private:
    QString executablePath(const QString& bundlePath) const {
        const auto info = infoPlist(bundlePath);
        if (!info)
            return {};
        QString name = info->value(QStringLiteral("CFBundleExecutable")).toString();
        if (name.isEmpty()) {
            name = lastPathComponent(bundlePath);
            if (name.endsWith(QLatin1String(".app")))
                name.chop(4);
        }
        if (name.contains(QLatin1Char('/')))
            return {};
        const QString exe = QDir(bundlePath).filePath(QStringLiteral("Contents/MacOS/") + name);
        const QFileInfo fi(exe);
        return fi.isFile() && fi.isExecutable() ? exe : QString();
    }

    QString namedExecutable(const QString& bundlePath, const QString& name) const {
        if (name.contains(QLatin1Char('/')))
            return {};
        const QFileInfo fi(QDir(bundlePath).filePath(QStringLiteral("Contents/MacOS/") + name));
        return fi.isFile() && fi.isExecutable() ? fi.filePath() : QString();
    }

    OpenResult launch(const QString& bundle, const QStringList& arguments, const QString& executableName = {}) {
        if (!QFileInfo(bundle).isDir() || !infoPlist(bundle))
            return OpenResult::failure(QStringLiteral("The application \"%1\" could not be found.").arg(bundle));
        const QString exe = executableName.isEmpty() ? executablePath(bundle) : namedExecutable(bundle, executableName);
        if (exe.isEmpty())
            return OpenResult::failure(QStringLiteral("The application \"%1\" has no executable.").arg(bundle));
        QProcess process;
        process.setProgram(exe);
        process.setArguments(arguments);
        process.setProcessEnvironment(childEnvironment());
        if (QFileInfo(SystemPaths::home()).isDir())
            process.setWorkingDirectory(SystemPaths::home());
        // A detached app must not hold our standard streams open (a pipe reader would wait for it).
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        qint64 pid = 0;
        if (!process.startDetached(&pid))
            return OpenResult::failure(QStringLiteral("Failed to launch %1: %2").arg(exe, process.errorString()));
        return OpenResult::success(pid);
    }
};

} // namespace

std::unique_ptr<Workspace> createSystemWorkspace() {
    return std::make_unique<LinuxWorkspace>();
}

} // namespace pierline
