// The running app and the hand-over of commands: frames, and real `pierline run`
// processes on temporary homes with private runtime folders.
#include "support/PierlineCli.h"

#include "app/instance/Frame.h"
#include "app/instance/Messages.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pierline;
using namespace pierline::test;

namespace {

// --- Frames -------------------------------------------------------------------------------

TEST(InstanceFrames, RequestsSurviveAnySplitAndBadHeadersFailAtOnce) {
    const CommandRequest request{{"preset", "create", "Wörk #1"}, "/tmp/x", true};
    const QByteArray bytes = encodeFrame(FrameKind::Request, request.toPayload()) +
                             encodeFrame(FrameKind::Request, CommandRequest{{"apply", "A"}, "/", false}.toPayload());
    for (qsizetype split = 0; split <= bytes.size(); ++split) {
        FrameDecoder decoder;
        decoder.feed(bytes.left(split));
        QList<Frame> frames;
        while (auto frame = decoder.next())
            frames.append(*frame);
        decoder.feed(bytes.mid(split));
        while (auto frame = decoder.next())
            frames.append(*frame);
        ASSERT_EQ(frames.size(), 2) << "split at " << split;
        const auto decoded = CommandRequest::fromPayload(frames[0].payload);
        ASSERT_TRUE(std::holds_alternative<CommandRequest>(decoded));
        EXPECT_EQ(std::get<CommandRequest>(decoded).arguments, request.arguments);
        EXPECT_TRUE(std::get<CommandRequest>(decoded).stdinIsTerminal);
        EXPECT_EQ(decoder.pending(), 0);
    }

    QByteArray wrongMagic = bytes;
    wrongMagic[0] = 'X';
    QByteArray wrongVersion = bytes;
    wrongVersion[5] = 9;
    QByteArray oversized = encodeFrame(FrameKind::Request, {});
    oversized[8] = 0x01; // 16 MiB + payload length, no payload needed to refuse it
    oversized[11] = 0x01;
    for (const QByteArray& bad : {wrongMagic, wrongVersion, oversized}) {
        FrameDecoder decoder;
        decoder.feed(bad);
        EXPECT_FALSE(decoder.next());
        EXPECT_TRUE(decoder.failed());
        EXPECT_FALSE(decoder.error().isEmpty());
    }
    FrameDecoder truncated;
    truncated.feed(encodeFrame(FrameKind::Request, request.toPayload()).chopped(1));
    EXPECT_FALSE(truncated.next());
    EXPECT_GT(truncated.pending(), 0);
    EXPECT_FALSE(truncated.failed());

    // A frame that is whole but does not hold a request is refused with a reason.
    for (const QByteArray& payload : {QByteArray("{"), QByteArray("[]"), QByteArray(R"({"arguments":[1]})"),
                                      QByteArray(R"({"arguments":[],"workingFolder":"/"})")})
        EXPECT_TRUE(std::holds_alternative<QString>(CommandRequest::fromPayload(payload))) << payload.constData();
    EXPECT_TRUE(std::holds_alternative<QString>(
        CommandReply::fromPayload(R"({"exitCode":0,"stdout":"!!notbase64","stderr":""})")));
    const CommandReply binary{3, QByteArray("\xff\x00\xfe", 3), "e"};
    const auto back = CommandReply::fromPayload(binary.toPayload());
    ASSERT_TRUE(std::holds_alternative<CommandReply>(back));
    EXPECT_EQ(std::get<CommandReply>(back).standardOutput, binary.standardOutput);
    EXPECT_EQ(std::get<CommandReply>(back).exitCode, 3);
}

// --- Real processes -------------------------------------------------------------------------

// A sandbox home and a private runtime folder; `run()` starts the app on it.
class RunningApp : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        env_ = privateHomeEnvironment(dir_);
        const CliRun made = cli({"sandbox", "init"});
        ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    }
    void TearDown() override {
        for (auto& app : apps_) {
            if (app->state() != QProcess::NotRunning) {
                app->kill();
                app->waitForFinished();
            }
        }
    }

    QString home() const { return dir_.filePath(QStringLiteral("home")); }
    QString runtime() const { return dir_.filePath(QStringLiteral("runtime")); }

    CliRun cli(const QStringList& args, QMap<QString, QString> extra = {}) const {
        QMap<QString, QString> env = env_;
        env.insert(extra);
        return runPierline(args, env);
    }

    // Starts `pierline run` and waits (bounded, on the real process) until it answers.
    QProcess* run(QMap<QString, QString> extra = {}) {
        QMap<QString, QString> env = env_;
        env.insert(extra);
        apps_.push_back(startPierline({"run"}, env));
        QProcess* app = apps_.back().get();
        app->waitForStarted();
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && app->state() != QProcess::NotRunning) {
            const CliRun status = runPierline({"status", "--json"}, env);
            if (QJsonDocument::fromJson(status.out.toUtf8()).object().value("running").toBool())
                return app;
            QThread::msleep(50);
        }
        ADD_FAILURE() << "the app did not come up: " << app->readAllStandardOutput().toStdString();
        return app;
    }

    // Waits (bounded) until the app has shown its status item, a moment after it is up: that is
    // when it looks for a tray, and on a display without one says so.
    bool waitForStatusItem() const {
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            const QJsonObject status = QJsonDocument::fromJson(cli({"status", "--json"}).out.toUtf8()).object();
            if (status.value("statusItem").toObject().value("visible").toBool())
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    QString socketPath() const {
        const CliRun status = cli({"status", "--json"});
        return QJsonDocument::fromJson(status.out.toUtf8()).object().value("socket").toString();
    }

    QTemporaryDir dir_;
    QMap<QString, QString> env_;
    std::vector<std::unique_ptr<QProcess>> apps_;
};

TEST_F(RunningApp, OneAppPerHomeAndItQuitsCleanly) {
    QProcess* app = run();
    const QString socket = socketPath();
    EXPECT_TRUE(QFileInfo(socket).exists());
    EXPECT_EQ(QFileInfo(socket).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0);

    const CliRun second = cli({"run"});
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.out.contains(QStringLiteral("Pierline is already running (pid %1)").arg(app->processId())))
        << second.out.toStdString();
    EXPECT_EQ(cli({"sandbox", "init", "--force"}).err.trimmed(), "Pierline is running on this home; quit it first");

    // Another home of the same user gets its own app.
    QTemporaryDir other;
    ASSERT_EQ(
        runPierline({"sandbox", "init"}, {{"PIERLINE_HOME", other.path()}, {"XDG_RUNTIME_DIR", runtime()}}).exitCode,
        0);
    QProcess* otherApp = run({{"PIERLINE_HOME", other.path()}});
    EXPECT_NE(otherApp->processId(), app->processId());
    EXPECT_EQ(runPierline({"quit"}, {{"PIERLINE_HOME", other.path()}, {"XDG_RUNTIME_DIR", runtime()}}).exitCode, 0);

    ::kill(static_cast<pid_t>(app->processId()), SIGTERM);
    ASSERT_TRUE(app->waitForFinished(20000));
    EXPECT_EQ(app->exitCode(), 0);
    EXPECT_TRUE(app->readAllStandardOutput().contains("[Pierline] Quit"));
    EXPECT_FALSE(QFileInfo::exists(socket));
    EXPECT_EQ(cli({"quit"}).exitCode, 1);
    EXPECT_TRUE(cli({"status"}).out.startsWith("Pierline is not running"));
}

// The server used to free its connections' decoders and then run their disconnect handlers on
// them: `quit` ended the app with SIGSEGV most times.
TEST_F(RunningApp, QuitEndsTheAppCleanlyEveryTime) {
    for (int round = 0; round < 5; ++round) {
        QProcess* app = run();
        EXPECT_EQ(cli({"quit"}).exitCode, 0);
        ASSERT_TRUE(app->waitForFinished(20000));
        EXPECT_EQ(app->exitStatus(), QProcess::NormalExit) << "round " << round;
        EXPECT_EQ(app->exitCode(), 0) << "round " << round;
        EXPECT_TRUE(app->readAllStandardOutput().contains("[Pierline] Quit")) << "round " << round;
    }
}

TEST_F(RunningApp, HandedOverCommandsAnswerAsInProcessAndTheAppsCooldownHolds) {
    // The same commands on a twin home without an app give the same answers.
    QTemporaryDir twin;
    const QMap<QString, QString> twinEnv{{"PIERLINE_HOME", twin.path()}, {"XDG_RUNTIME_DIR", runtime()}};
    ASSERT_EQ(runPierline({"sandbox", "init"}, twinEnv).exitCode, 0);
    const auto masked = [](QString text) {
        static const QRegularExpression uuid(QStringLiteral("[0-9A-F]{8}-[0-9A-F-]{27}"));
        return text.replace(uuid, QStringLiteral("UUID"));
    };
    run();
    // The app shows its status item a moment after it is up, and warns then that no tray shows
    // it; a request running at that moment would carry the warning. Compare once it is done.
    ASSERT_TRUE(waitForStatusItem()) << "the app never showed its status item";
    const QList<QStringList> commands = {
        {"preset", "create", "Work"},
        {"preset", "create", "Work"},
        {"preset", "create", "null"},
        {"settings", "set", "scopeTimeoutSeconds", "0"},
        {"settings", "set", "useDockutil", "false"},
        {"preset", "add-url", "Work", "example.com", "--label", "x"},
        {"apply", "Nope"},
        {"apply", "Work"},
    };
    for (const QStringList& args : commands) {
        const CliRun inApp = cli(args);
        const CliRun here = runPierline(args, twinEnv);
        EXPECT_EQ(inApp.exitCode, here.exitCode) << args.join(' ').toStdString() << "\n" << inApp.err.toStdString();
        EXPECT_EQ(masked(inApp.out), masked(here.out)) << args.join(' ').toStdString();
        EXPECT_EQ(masked(inApp.err), masked(here.err)) << args.join(' ').toStdString();
    }
    // The app applied Work a moment ago: its cooldown holds the next request, unless bypassed.
    const CliRun held = cli({"apply", "Default"});
    EXPECT_EQ(held.exitCode, 1);
    EXPECT_TRUE(held.err.contains("Please wait")) << held.err.toStdString();
    EXPECT_EQ(cli({"apply", "Default", "--bypass-cooldown"}).exitCode, 0);
    EXPECT_EQ(cli({"settings", "get", "useDockutil"}).out.trimmed(), "false");
}

TEST_F(RunningApp, BadFramesAndForeignPeersAreDroppedAndTheAppLivesOn) {
    QProcess* app = run();
    const QString socket = socketPath();
    const QList<QByteArray> bad = {
        QByteArray("garbage that is no frame at all"),
        encodeFrame(FrameKind::Request, {}).left(8) + QByteArray("\x7f\xff\xff\xff", 4), // oversized length
        encodeFrame(FrameKind::Request, CommandRequest{{"status"}, "/", false}.toPayload()).left(20), // truncated
        encodeFrame(FrameKind::Request, "{not json"),
    };
    for (const QByteArray& bytes : bad) {
        QLocalSocket peer;
        peer.connectToServer(socket);
        ASSERT_TRUE(peer.waitForConnected(5000));
        peer.write(bytes);
        peer.flush();
        peer.waitForBytesWritten(5000);
        peer.disconnectFromServer();
        EXPECT_EQ(cli({"status"}).exitCode, 0);
    }
    EXPECT_EQ(app->state(), QProcess::Running);

    if (::getuid() != 0) {
        GTEST_SKIP() << "a client of another user needs root to start it";
    }
    // Open the folders and the socket to everyone, so only the peer check stands in the way of a
    // client of another user that writes a good request.
    for (const QString& folder : {dir_.path(), runtime(), QFileInfo(socket).path()})
        ::chmod(QFile::encodeName(folder).constData(), 0755);
    ::chmod(QFile::encodeName(socket).constData(), 0666);
    const QByteArray request = encodeFrame(FrameKind::Request, CommandRequest{{"status"}, "/", false}.toPayload());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", QFile::encodeName(socket).constData());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only system calls between fork and _exit. Exit 0 only when the app answered.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
            ::_exit(98);
        if (::write(fd, request.constData(), static_cast<size_t>(request.size())) != request.size())
            ::_exit(1); // cut off already
        char byte;
        ::_exit(::read(fd, &byte, 1) == 1 ? 0 : 1);
    }
    int childStatus = 0;
    ASSERT_EQ(::waitpid(child, &childStatus, 0), child);
    ASSERT_TRUE(WIFEXITED(childStatus));
    EXPECT_EQ(WEXITSTATUS(childStatus), 1) << "the foreign client connected, and the app must not answer it";
    EXPECT_EQ(app->state(), QProcess::Running);
    QByteArray appLog;
    QDeadlineTimer deadline(5000);
    while (!appLog.contains("Refused a connection from user 65534") && !deadline.hasExpired()) {
        app->waitForReadyRead(100);
        appLog += app->readAllStandardOutput();
    }
    EXPECT_TRUE(appLog.contains("Refused a connection from user 65534")) << appLog.toStdString();
    // Our own callers do not talk through a folder others may enter.
    EXPECT_TRUE(cli({"status"}).err.contains("is open to other users"));
    ::chmod(QFile::encodeName(QFileInfo(socket).path()).constData(), 0700);
    EXPECT_EQ(cli({"status"}).exitCode, 0);
}

TEST_F(RunningApp, AStaleSocketIsReplacedAndAnAppKilledMidRequestIsReported) {
    // A crashed app leaves its record, its folder and a socket file nobody listens on.
    QProcess* crashed = run();
    const QString stale = socketPath();
    crashed->kill();
    ASSERT_TRUE(crashed->waitForFinished(20000));
    ASSERT_TRUE(QFileInfo::exists(stale));
    EXPECT_EQ(cli({"preset", "create", "Here"}).exitCode, 0); // no app answers: runs in-process
    QProcess* app = run();
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(stale).path()));

    // A dockutil that hangs keeps the app inside the request until it is killed.
    QTemporaryDir tools;
    const QString marker = tools.filePath("started");
    QFile script(tools.filePath("dockutil"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\nexec sleep 30\n").arg(marker).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString bundled = home() + "/Applications/Pierline.app/Contents/Resources";
    QDir().mkpath(bundled);
    ASSERT_TRUE(QFile::copy(script.fileName(), bundled + "/dockutil"));

    auto caller = startPierline({"apply", "Here"}, env_);
    QDeadlineTimer deadline(20000);
    while (!QFileInfo::exists(marker) && !deadline.hasExpired())
        QThread::msleep(20);
    ASSERT_TRUE(QFileInfo::exists(marker)) << "the apply never reached dockutil";
    app->kill();
    const CliRun answer = finishPierline(*caller);
    EXPECT_EQ(answer.exitCode, 1);
    EXPECT_TRUE(answer.err.contains("Pierline quit or closed the connection before it answered"))
        << answer.err.toStdString();
}

// The lock and the socket's record live in the home: callers with other environments meet the
// one app, and a caller with none of them refuses to wipe the home under it.
// The processes whose environment holds this PIERLINE_HOME and whose program is `name`.
QList<qint64> processesOfHome(const QString& name, const QString& home) {
    QList<qint64> found;
    const QByteArray mark = "PIERLINE_HOME=" + QFile::encodeName(home);
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        QFile comm(QStringLiteral("/proc/%1/comm").arg(entry));
        QFile environ(QStringLiteral("/proc/%1/environ").arg(entry));
        if (!isPid || !comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name.toUtf8() ||
            !environ.open(QIODevice::ReadOnly))
            continue;
        if (environ.readAll().split('\0').contains(mark))
            found.append(pid);
    }
    return found;
}

// With a display but no session bus, the app asks nothing of D-Bus: the bus library would start
// a bus of its own through X11, which outlives the app.
TEST_F(RunningApp, StartsNoSessionBusOfItsOwn) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        GTEST_SKIP() << "needs a display and no session bus";
    QProcess* app = run();
    // The tray is looked for when the status item is shown, a moment after the app is up.
    ASSERT_TRUE(waitForStatusItem()) << "the app never showed its status item";
    const QList<qint64> launchers = processesOfHome(QStringLiteral("dbus-launch"), home());
    for (const qint64 pid : launchers)
        ::kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(launchers.isEmpty()) << "the app started dbus-launch";
    EXPECT_EQ(cli({"quit"}).exitCode, 0);
    ASSERT_TRUE(app->waitForFinished(20000));
}

TEST_F(RunningApp, OneAppPerHomeWhateverTheEnvironment) {
    QDir(dir_.path()).mkpath(QStringLiteral("runtime2"));
    ::chmod(QFile::encodeName(dir_.filePath("runtime2")).constData(), 0700);
    QDir(dir_.path()).mkpath(QStringLiteral("tmp2"));
    ::chmod(QFile::encodeName(dir_.filePath("tmp2")).constData(), 0700);
    QProcess* app = run();
    const QList<QMap<QString, QString>> others = {
        {{"XDG_RUNTIME_DIR", dir_.filePath("runtime2")}, {"TMPDIR", dir_.filePath("tmp2")}},
        {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", dir_.filePath("tmp2")}},
    };
    for (const auto& env : others) {
        const CliRun second = cli({"run"}, env);
        EXPECT_EQ(second.exitCode, 0);
        EXPECT_TRUE(second.out.contains(QStringLiteral("Pierline is already running (pid %1)").arg(app->processId())))
            << second.out.toStdString();
    }
    const QMap<QString, QString> bare{{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", ""}};
    const auto status = QJsonDocument::fromJson(cli({"status", "--json"}, bare).out.toUtf8()).object();
    EXPECT_TRUE(status.value("running").toBool());
    EXPECT_EQ(status.value("pid").toInteger(), app->processId());
    const CliRun wipe = cli({"sandbox", "init", "--force"}, bare);
    EXPECT_EQ(wipe.exitCode, 1);
    EXPECT_EQ(wipe.err.trimmed(), "Pierline is running on this home; quit it first");
    EXPECT_EQ(cli({"preset", "create", "Kept"}, bare).exitCode, 0);
    EXPECT_EQ(cli({"quit"}, bare).exitCode, 0);
    ASSERT_TRUE(app->waitForFinished(20000));
    EXPECT_TRUE(cli({"preset", "show", "Kept"}).exitCode == 0);
    // The app's own folder went with it; nothing of ours is left in the shared folders.
    // The desktop's own folders (GSettings and D-Bus make them as the app reads its settings) stay.
    QStringList left = QDir(runtime()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.removeAll(QStringLiteral("dconf"));
    left.removeAll(QStringLiteral("dbus-1"));
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
}

TEST_F(RunningApp, ARuntimeOrTemporaryFolderOthersCanReachIsRefused) {
    // Without a runtime folder the app makes a fresh private folder in the temporary one.
    const QMap<QString, QString> noRuntime{{"XDG_RUNTIME_DIR", ""}};
    run(noRuntime);
    const QString socket = socketPath();
    EXPECT_TRUE(socket.startsWith(dir_.path() + "/pierline-")) << socket.toStdString();
    EXPECT_EQ(QFileInfo(QFileInfo(socket).path()).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther | QFile::WriteOther),
              0);
    EXPECT_EQ(cli({"quit"}, noRuntime).exitCode, 0);

    ::chmod(QFile::encodeName(runtime()).constData(), 0755);
    const CliRun open = cli({"run"});
    EXPECT_EQ(open.exitCode, 1);
    // `run` prints its log, warnings included, on stdout.
    EXPECT_TRUE(open.out.contains("the runtime folder (XDG_RUNTIME_DIR) " + runtime() +
                                  " is open to other users (mode 755); it must be 0700"))
        << open.out.toStdString();
    EXPECT_TRUE(cli({"status"}).out.contains("Pierline cannot start here: the runtime folder"));
    ::chmod(QFile::encodeName(runtime()).constData(), 0700);

    const QString shared = dir_.filePath("shared");
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(shared).constData(), 0777);
    const CliRun unsticky = cli({"run"}, {{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", shared}});
    EXPECT_EQ(unsticky.exitCode, 1);
    EXPECT_TRUE(unsticky.out.contains("writable by other users without the sticky bit")) << unsticky.out.toStdString();

    if (::getuid() != 0)
        GTEST_SKIP() << "folders of another user need root to make them";
    ::chown(QFile::encodeName(runtime()).constData(), 65534, 65534);
    const CliRun foreign = cli({"run"});
    EXPECT_EQ(foreign.exitCode, 1);
    EXPECT_TRUE(foreign.out.contains(runtime() + " belongs to another user")) << foreign.out.toStdString();
    ::chown(QFile::encodeName(runtime()).constData(), 0, 0);

    // An app whose socket folder was handed to another user is not talked to, and status says why.
    run();
    const QString folder = QFileInfo(socketPath()).path();
    ::chown(QFile::encodeName(folder).constData(), 65534, 65534);
    const CliRun status = cli({"status"});
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_TRUE(
        status.err.contains("cannot be reached: the app's socket folder " + folder + " belongs to another user"))
        << status.err.toStdString();
    EXPECT_EQ(cli({"preset", "create", "Lost"}).exitCode, 1);
    ::chown(QFile::encodeName(folder).constData(), 0, 0);
}

} // namespace
