// GLib first: its headers use `signals` as a name, which Qt defines as a macro.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "ProcessTable.h"
#include "platform/linux/DesktopBackend.h"

#include "platform/DesktopEntry.h"
#include "platform/linux/X11Backend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pierline {
namespace {

// The first bytes of a file: enough for a script's "#!" line without reading a whole program.
QByteArray readHead(const QByteArray& path, qsizetype size) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray head(size, Qt::Uninitialized);
    ssize_t n = 0;
    do
        n = ::read(fd, head.data(), static_cast<size_t>(size));
    while (n < 0 && errno == EINTR);
    ::close(fd);
    head.truncate(n > 0 ? n : 0);
    return head;
}

QByteArray canonical(const QByteArray& path) {
    char buffer[PATH_MAX];
    return !path.isEmpty() && ::realpath(path.constData(), buffer) ? QByteArray(buffer) : QByteArray();
}

// realpath, remembering the folders' resolutions: the programs of many apps share a few folders.
QByteArray canonicalIn(QHash<QByteArray, QByteArray>& folders, const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0 || !path.startsWith('/'))
        return canonical(path);
    const QByteArray folder = path.left(slash);
    auto it = folders.find(folder);
    if (it == folders.end())
        it = folders.insert(folder, canonical(folder));
    if (it->isEmpty())
        return {};
    const QByteArray candidate = *it + path.mid(slash);
    struct stat info {};
    if (::lstat(candidate.constData(), &info) != 0)
        return {};
    return S_ISLNK(info.st_mode) ? canonical(candidate) : candidate;
}

QByteArray baseName(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

bool isInterpreter(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral(
        "^(sh|bash|dash|zsh|ksh|mksh|fish|python[0-9.]*|perl[0-9.]*|ruby[0-9.]*|node|nodejs|lua[0-9.]*|php[0-9.]*|"
        "tclsh[0-9.]*|wish[0-9.]*|gjs|java|mono)$"));
    return pattern.match(name).hasMatch();
}

// The programs that make up the desktop session: never closed, whatever desktop file they match.
bool isMultiplexer(const QByteArray& name) {
    return name == "tmux" || name == "screen" || name.startsWith("screen-");
}

bool isSessionProgram(const QByteArray& name) {
    static const QSet<QByteArray> names = {
        "gnome-shell",
        "plank",
        "gnome-panel",
        "mate-panel",
        "xfce4-panel",
        "lxpanel",
        "lxqt-panel",
        "budgie-panel",
        "plasmashell",
        "Xorg",
        "Xwayland",
        "X",
        "dbus-daemon",
        "dbus-broker",
        "dbus-broker-launch",
        "systemd",
        "mutter",
        "kwin_x11",
        "kwin_wayland",
        "xfwm4",
        "xfdesktop",
        "gnome-shell-calendar-server",
    };
    static const QByteArrayList prefixes = {"gnome-session", "gsd-",         "xdg-desktop-portal", "at-spi",
                                            "xfce4-session", "mate-session", "cinnamon-session",   "lxsession"};
    if (names.contains(name))
        return true;
    for (const QByteArray& prefix : prefixes)
        if (name.startsWith(prefix))
            return true;
    return false;
}

// A service of the user's systemd manager (its session.slice, background or plain units, the
// manager itself), as opposed to the app.slice where launched apps run or a login session scope.
bool isUserService(const QByteArray& cgroupFile) {
    QByteArray path;
    for (const QByteArray& line : cgroupFile.split('\n')) {
        if (line.startsWith("0::") || line.contains(":name=systemd:")) {
            path = line.mid(line.indexOf(':', line.indexOf(':') + 1) + 1);
            if (line.startsWith("0::"))
                break;
        }
    }
    const qsizetype manager = path.indexOf("/user@");
    if (manager < 0)
        return false;
    const qsizetype unit = path.indexOf(".service", manager);
    if (unit < 0)
        return false;
    return !path.mid(unit + 8).startsWith("/app.slice/");
}

struct AppFile {
    QString path;
    QString name;
    bool hidden = false; // NoDisplay: not an app the user sees
};

// A program run with a script or an argument that tells the app apart: a shebang script, or an
// interpreter given a script on the Exec line.
struct ScriptRule {
    int app = 0;
    QByteArray word;      // as written
    QByteArray canonical; // when it names an existing file
};

struct AppIndex {
    QList<AppFile> apps;
    QHash<QByteArray, QList<int>> byExecutable;
    QHash<QByteArray, QList<ScriptRule>> byInterpreter;
    QHash<QString, QList<int>> byWindowClass;
    QSet<QByteArray> scriptNames; // file names of the rules' words
    QHash<QByteArray, QByteArray> canonicalFolders;
};

// The interpreter named by a script's "#!" line, or empty when the file is no script.
QByteArray shebangInterpreter(AppIndex& index, const QString& path, const QStringList& searchPath) {
    QByteArray head = readHead(QFile::encodeName(path), 256);
    if (!head.startsWith("#!"))
        return {};
    head = head.mid(2, head.indexOf('\n') < 0 ? -1 : head.indexOf('\n') - 2).trimmed();
    QList<QByteArray> words = head.simplified().split(' ');
    if (words.isEmpty() || words[0].isEmpty())
        return {};
    if (baseName(words[0]) == "env" && words.size() > 1) {
        const auto command = parseDesktopCommand(QString::fromLocal8Bit(head), searchPath, {});
        return command ? canonicalIn(index.canonicalFolders, QFile::encodeName(command->resolved)) : QByteArray();
    }
    return canonicalIn(index.canonicalFolders, words[0]);
}

void addDesktopFile(AppIndex& index, const QString& path, const QStringList& searchPath, bool windowsKnown) {
    bool hasGroup = false;
    const QByteArray text = readSmallFile(QFile::encodeName(path));
    const std::optional<DesktopEntry> entry =
        text.isEmpty() ? std::nullopt : std::optional(DesktopEntry::parse(text, &hasGroup));
    if (!entry || !hasGroup || entry->value(QStringLiteral("Type")) != QLatin1String("Application"))
        return;
    const auto flag = [&](const char* key) {
        return entry->value(QString::fromLatin1(key)).value_or(QString()).trimmed() == QLatin1String("true");
    };
    // A terminal program is any program the user runs in a terminal, not this app.
    if (flag("Hidden") || flag("Terminal"))
        return;
    const int app = static_cast<int>(index.apps.size());
    QString name = entry->localised(QStringLiteral("Name")).value_or(QString());
    if (name.isEmpty())
        name = QFileInfo(path).completeBaseName();
    index.apps.append({path, name, flag("NoDisplay")});

    const QString windowClass = entry->value(QStringLiteral("StartupWMClass")).value_or(QString()).trimmed();
    if (!windowClass.isEmpty()) {
        index.byWindowClass[windowClass].append(app);
        // Its windows tell it apart from other apps of the same program (web apps of a browser).
        if (windowsKnown)
            return;
    }
    const auto command = parseDesktopCommand(entry->value(QStringLiteral("Exec")).value_or(QString()), searchPath,
                                             entry->value(QStringLiteral("Path")).value_or(QString()));
    if (!command || command->resolved.isEmpty())
        return;
    const QByteArray program = canonicalIn(index.canonicalFolders, QFile::encodeName(command->resolved));
    if (program.isEmpty())
        return;
    if (const QByteArray interpreter = shebangInterpreter(index, command->resolved, searchPath);
        !interpreter.isEmpty()) {
        index.byInterpreter[interpreter].append({app, QFile::encodeName(command->resolved), program});
        index.scriptNames.insert(baseName(program));
        index.scriptNames.insert(baseName(QFile::encodeName(command->resolved)));
        return;
    }
    if (!isInterpreter(QString::fromLocal8Bit(baseName(program))) &&
        !isInterpreter(QFileInfo(command->program).fileName())) {
        index.byExecutable[program].append(app);
        return;
    }
    // An interpreter alone runs many apps: only the first word that is no option tells this one.
    for (const QString& argument : command->arguments) {
        if (argument.startsWith(QLatin1Char('-')))
            continue;
        const QByteArray word = QFile::encodeName(argument);
        const QByteArray resolved = canonicalIn(index.canonicalFolders, word);
        index.byInterpreter[program].append({app, word, resolved});
        index.scriptNames.insert(baseName(word));
        index.scriptNames.insert(baseName(resolved));
        return;
    }
}

// WM_CLASS names of the windows the window manager lists, by pid; asked of the X server only
// with a display, through the X11 module.
QHash<qint64, QStringList> windowClassesByPid(bool* answered) {
    *answered = false;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return {};
    const x11::Backend* x = x11::backend();
    return x ? x->windowClassesByPid(answered) : QHash<qint64, QStringList>();
}

struct Match {
    qint64 ppid = 0;
    QList<int> apps;
    QByteArray executable;
    QByteArray command; // the kernel's short name of the process
};

class LinuxDesktopApps : public DesktopApps {
public:
    explicit LinuxDesktopApps(ProcessScope scope) : scope_(std::move(scope)) {
        if (scope_.selfPid <= 0)
            scope_.selfPid = ::getpid();
        if (scope_.uid < 0)
            scope_.uid = ::getuid();
    }

    QList<RunningApplication> runningApplications(const QStringList& desktopFiles) const override {
        const QStringList searchPath = scope_.searchPath.isEmpty() ? executableSearchPath() : scope_.searchPath;
        bool windowsKnown = false;
        QHash<qint64, QStringList> windows;
        if (scope_.askDisplay)
            windows = windowClassesByPid(&windowsKnown);

        AppIndex index;
        QSet<QString> seen;
        for (const QString& file : desktopFiles) {
            const QString path = QDir::cleanPath(file);
            if (!seen.contains(path)) {
                seen.insert(path);
                addDesktopFile(index, path, searchPath, windowsKnown);
            }
        }
        if (index.apps.isEmpty())
            return {};

        const ProcessTable proc(scope_.procRoot);
        if (!proc.isOpen())
            return {};
        Ours ours = ourselves(proc);
        QList<qint64> ourPrograms;
        const QHash<qint64, Match> matches = matchProcesses(proc, index, windows, ours.executable, ourPrograms);
        for (qint64 pid : ourPrograms)
            addChain(proc, pid, ours.chain);
        addMultiplexerClients(proc, ours.chain);
        QList<RunningApplication> out;
        for (auto it = matches.begin(); it != matches.end(); ++it) {
            const qint64 pid = it.key();
            if (excluded(proc, pid, *it, ours))
                continue;
            const auto parent = matches.constFind(it->ppid);
            for (int app : it->apps) {
                // A helper the app started is part of it, not an app of its own.
                if (parent != matches.constEnd() && parent->apps.contains(app))
                    continue;
                const AppFile& file = index.apps[app];
                RunningApplication running;
                running.pid = pid;
                running.bundlePath = file.path;
                running.localizedName = file.name;
                running.activationPolicy = file.hidden ? ActivationPolicy::Accessory : ActivationPolicy::Regular;
                out.append(running);
            }
        }
        std::sort(out.begin(), out.end(), [](const RunningApplication& a, const RunningApplication& b) {
            return a.pid != b.pid ? a.pid < b.pid : *a.bundlePath < *b.bundlePath;
        });
        return out;
    }

    bool isApplication(const QString& desktopFile) const override {
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(QFile::encodeName(desktopFile).constData());
        if (!info)
            return false;
        g_object_unref(info);
        return true;
    }

    OpenResult openApplication(const QString& desktopFile) override {
        if (!runningApplications({desktopFile}).isEmpty())
            return OpenResult::success(); // already running
        return launch(desktopFile, {});
    }

    OpenResult openFile(const QString& filePath, const QString& desktopFile) override {
        return launch(desktopFile, {filePath});
    }

private:
    struct Ours {
        // This process and its parents, and those of every other Pierline process: a command
        // handed to the running app waits in the terminal that ran it.
        QSet<qint64> chain;
        QByteArray executable;
        QByteArray session;
    };

    Ours ourselves(const ProcessTable& proc) const {
        Ours ours;
        ours.executable = proc.exe(scope_.selfPid);
        ours.session = proc.file(scope_.selfPid, "sessionid").trimmed();
        addChain(proc, scope_.selfPid, ours.chain);
        return ours;
    }

    void addChain(const ProcessTable& proc, qint64 pid, QSet<qint64>& chain) const {
        for (int depth = 0; pid > 1 && depth < 256 && !chain.contains(pid); ++depth) {
            chain.insert(pid);
            const auto stat = proc.stat(pid);
            pid = stat ? stat->ppid : 0;
        }
    }

    // A terminal multiplexer's server is a daemon: the terminal that shows our pane hosts one of
    // its clients, not the server. The chains of every client of a multiplexer in our chain are
    // ours too (a client of another server of the same program is spared as well, which is safe).
    void addMultiplexerClients(const ProcessTable& proc, QSet<qint64>& chain) const {
        QSet<QByteArray> multiplexers;
        for (const qint64 pid : std::as_const(chain)) {
            const QByteArray exe = proc.exe(pid);
            if (isMultiplexer(baseName(exe)))
                multiplexers.insert(exe);
        }
        if (multiplexers.isEmpty())
            return;
        for (const qint64 pid : proc.pids()) {
            if (!chain.contains(pid) && proc.owner(pid) == static_cast<uid_t>(scope_.uid) &&
                multiplexers.contains(proc.exe(pid)))
                addChain(proc, pid, chain);
        }
    }

    // Which desktop files each process of our user runs, before any exclusion; `ourPrograms`
    // gets the processes that run `ourExecutable`.
    QHash<qint64, Match> matchProcesses(const ProcessTable& proc, const AppIndex& index,
                                        const QHash<qint64, QStringList>& windows, const QByteArray& ourExecutable,
                                        QList<qint64>& ourPrograms) const {
        QHash<qint64, Match> matches;
        for (const qint64 pid : proc.pids()) {
            if (proc.owner(pid) != static_cast<uid_t>(scope_.uid))
                continue;
            QList<int> apps;
            for (const QString& windowClass : windows.value(pid))
                for (int app : index.byWindowClass.value(windowClass))
                    if (!apps.contains(app))
                        apps.append(app);
            const QByteArray exe = proc.exe(pid);
            if (!exe.isEmpty() && exe == ourExecutable)
                ourPrograms.append(pid);
            if (!exe.isEmpty()) {
                for (int app : index.byExecutable.value(exe))
                    if (!apps.contains(app))
                        apps.append(app);
                if (const auto rules = index.byInterpreter.constFind(exe); rules != index.byInterpreter.constEnd())
                    for (int app : scriptMatches(proc, pid, index, *rules))
                        if (!apps.contains(app))
                            apps.append(app);
            }
            if (apps.isEmpty())
                continue;
            const auto stat = proc.stat(pid);
            if (!stat || stat->finished())
                continue; // gone, or finished and waiting for its parent
            matches.insert(pid, {stat->ppid, apps, exe, stat->comm});
        }
        return matches;
    }

    // The apps whose script or telling argument is among the first arguments of the process.
    QList<int> scriptMatches(const ProcessTable& proc, qint64 pid, const AppIndex& index,
                             const QList<ScriptRule>& rules) const {
        const QList<QByteArray> argv = proc.cmdline(pid);
        QByteArray cwd;
        QList<int> apps;
        for (qsizetype i = 1; i < argv.size() && i <= 3; ++i) {
            const QByteArray& arg = argv[i];
            if (arg.isEmpty())
                continue;
            QByteArray resolved;
            for (const ScriptRule& rule : rules) {
                bool same = arg == rule.word;
                // Resolving costs a walk of the path: only for a file name some rule has.
                if (!same && !rule.canonical.isEmpty() && arg.contains('/') &&
                    index.scriptNames.contains(baseName(arg))) {
                    if (resolved.isEmpty()) {
                        QByteArray path = arg;
                        if (!path.startsWith('/')) {
                            if (cwd.isEmpty())
                                cwd = proc.cwd(pid);
                            path = cwd + '/' + path;
                        }
                        resolved = canonical(path);
                    }
                    same = resolved == rule.canonical;
                }
                if (same && !apps.contains(rule.app))
                    apps.append(rule.app);
            }
        }
        return apps;
    }

    // Processes that closing must never touch: another login session, the session's own programs
    // and services, our parent chain and Pierline itself.
    bool excluded(const ProcessTable& proc, qint64 pid, const Match& match, const Ours& ours) const {
        if (ours.chain.contains(pid) || (!ours.executable.isEmpty() && match.executable == ours.executable))
            return true;
        if (isSessionProgram(baseName(match.executable)) || isSessionProgram(match.command))
            return true;
        const QByteArray session = proc.file(pid, "sessionid").trimmed();
        if (!session.isEmpty() && !ours.session.isEmpty() && session != ours.session)
            return true;
        return isUserService(proc.file(pid, "cgroup"));
    }

    OpenResult launch(const QString& desktopFile, const QStringList& files) {
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(QFile::encodeName(desktopFile).constData());
        if (!info)
            return OpenResult::failure(
                QStringLiteral("The desktop file \"%1\" is missing or names no application.").arg(desktopFile));
        GList* uris = nullptr;
        for (const QString& file : files) {
            GFile* gfile = g_file_new_for_path(QFile::encodeName(file).constData());
            uris = g_list_append(uris, g_file_get_uri(gfile));
            g_object_unref(gfile);
        }
        GAppLaunchContext* context = g_app_launch_context_new();
        GPid pid = 0;
        GError* error = nullptr;
        const auto pidOf = [](GDesktopAppInfo*, GPid started, gpointer data) { *static_cast<GPid*>(data) = started; };
        // The app leads a session of its own and writes to /dev/null, so closing the terminal of the
        // command that opened it does not end it and its output never mixes with that command's.
        const auto ownSession = [](gpointer) { ::setsid(); };
        const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (null < 0) {
            g_list_free_full(uris, g_free);
            g_object_unref(context);
            g_object_unref(info);
            return OpenResult::failure(QStringLiteral("Failed to launch %1: /dev/null: %2")
                                           .arg(desktopFile, QString::fromLocal8Bit(strerror(errno))));
        }
        const gboolean ok = g_desktop_app_info_launch_uris_as_manager_with_fds(
            info, uris, context, G_SPAWN_SEARCH_PATH, ownSession, nullptr, pidOf, &pid, null, null, null, &error);
        ::close(null);
        g_list_free_full(uris, g_free);
        g_object_unref(context);
        g_object_unref(info);
        if (!ok) {
            const QString message = error ? QString::fromUtf8(error->message) : QStringLiteral("unknown error");
            g_clear_error(&error);
            return OpenResult::failure(QStringLiteral("Failed to launch %1: %2").arg(desktopFile, message));
        }
        return OpenResult::success(pid > 0 ? std::optional<qint64>(pid) : std::nullopt);
    }

    ProcessScope scope_;
};

} // namespace

std::unique_ptr<DesktopApps> desktop::createDesktopApps(ProcessScope scope) {
    return std::make_unique<LinuxDesktopApps>(std::move(scope));
}

} // namespace pierline
