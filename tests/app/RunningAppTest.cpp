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
        QDir(dir_.path()).mkpath(QStringLiteral("runtime"));
        ::chmod(QFile::encodeName(runtime()).constData(), 0700);
        env_ = {{"PIERLINE_HOME", home()}, {"XDG_RUNTIME_DIR", runtime()}, {"TMPDIR", dir_.path()}};
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
    // Open the folder and the socket to everyone, so only the peer check stands in the way.
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    ::chmod(QFile::encodeName(runtime()).constData(), 0755);
    ::chmod(QFile::encodeName(socket).constData(), 0666);
    QProcess foreign;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = env_.begin(); it != env_.end(); ++it)
        environment.insert(it.key(), it.value());
    foreign.setProcessEnvironment(environment);
    foreign.setChildProcessModifier([] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(99);
    });
    foreign.start(QStringLiteral(PIERLINE_BINARY), {"status"});
    const CliRun refused = finishPierline(foreign);
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_EQ(app->state(), QProcess::Running);
    QByteArray appLog;
    QDeadlineTimer deadline(5000);
    while (!appLog.contains("Refused a connection from user 65534") && !deadline.hasExpired()) {
        app->waitForReadyRead(100);
        appLog += app->readAllStandardOutput();
    }
    EXPECT_TRUE(appLog.contains("Refused a connection from user 65534")) << appLog.toStdString();
    EXPECT_EQ(cli({"status"}).exitCode, 0);
}

TEST_F(RunningApp, AStaleSocketIsReplacedAndAnAppKilledMidRequestIsReported) {
    // A socket file nobody listens on, as a crashed app leaves it.
    const QString socket = socketPath();
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", QFile::encodeName(socket).constData());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
    }
    EXPECT_EQ(cli({"preset", "create", "Here"}).exitCode, 0); // no app answers: runs in-process
    QProcess* app = run();

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

TEST_F(RunningApp, WithoutARuntimeFolderAPrivateFolderOfTheTemporaryFolderIsUsed) {
    QMap<QString, QString> noRuntime{{"XDG_RUNTIME_DIR", ""}};
    run(noRuntime);
    const QString folder = dir_.filePath(QStringLiteral("pierline-%1").arg(::getuid()));
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);
    EXPECT_EQ(cli({"quit"}, noRuntime).exitCode, 0);

    // A folder others may enter is refused.
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    const CliRun refused = cli({"run"}, noRuntime);
    EXPECT_EQ(refused.exitCode, 1);
    // `run` prints its log, warnings included, on stdout.
    EXPECT_TRUE(refused.out.contains("must be 0700")) << refused.out.toStdString();
}

} // namespace
