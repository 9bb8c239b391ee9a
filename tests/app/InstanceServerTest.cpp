// The app's end of the local socket in-process: a slow request on the main thread, callers on
// their own threads, virtual time for the keep-alives and the idle limit.
#include "app/instance/InstanceServer.h"
#include "app/instance/InstanceClient.h"
#include "support/VirtualClock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace pierline;
using namespace pierline::test;

namespace {

// Polls (in real time, bounded) for what another thread does; never for a timer.
template <typename Pred> bool eventually(Pred done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return true;
}

// Runs the main queue until `done` holds, for the requests the server hands to the main thread.
template <typename Pred> bool served(Pred done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

CommandReply replyOf(const QByteArray& text) {
    return CommandReply{0, text, {}};
}

struct Caller {
    std::atomic<int> keepAlives{0};
    std::atomic<bool> started{false};
    std::atomic<bool> done{false};
    InstanceClient::Answer answer;
    std::thread thread;

    void send(const QString& socket, const QStringList& args) {
        thread = std::thread([this, socket, args] {
            answer = InstanceClient::send(socket, CommandRequest{args, "/", false}, 30, [this](FrameKind kind) {
                if (kind == FrameKind::KeepAlive)
                    ++keepAlives;
                if (kind == FrameKind::Started)
                    started = true;
            });
            done = true;
        });
    }
    ~Caller() {
        if (thread.joinable())
            thread.join();
    }
};

class InstanceServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    void start(InstanceServer::Runner runner) {
        server_ = std::make_unique<InstanceServer>(
            std::move(runner),
            [](const CommandRequest& request) -> std::optional<CommandReply> {
                if (request.arguments == QStringList{"status"})
                    return replyOf("quick");
                return std::nullopt;
            },
            InstanceLimits{}, &time_.timers);
        QString error;
        ASSERT_TRUE(server_->listen(socket(), &error)) << error.toStdString();
    }
    QString socket() const { return dir_.filePath("socket"); }
    // Moves time on, a keep-alive period at a time, until `seen` (the server may still be reading
    // the request that makes a connection wait).
    template <typename Seen> bool keptAlive(Seen seen) {
        for (int round = 0; round < 200; ++round) {
            time_.timers.advanceAndFire(InstanceLimits{}.keepAliveSeconds, 1.0);
            if (seen())
                return true;
        }
        return false;
    }

    VirtualTime time_;
    QTemporaryDir dir_;
    std::unique_ptr<InstanceServer> server_;
};

// A request that runs past the caller's silence limit keeps it waiting, and `status` is answered
// meanwhile; a caller that left before its turn is not run; one cut off by a quit before its turn
// is told its request never ran.
TEST_F(InstanceServerTest, ASlowRequestKeepsItsCallerAndNothingRunsForACallerThatLeft) {
    QStringList ran;
    Caller status;
    Caller queued;
    Caller slow;
    start([&](const CommandRequest& request) {
        ran.append(request.arguments.join(' '));
        if (request.arguments.first() != "apply")
            return replyOf("done");
        // 60 virtual seconds, twice the caller's silence limit, one second at a time.
        for (int second = 1; second <= 60; ++second) {
            time_.timers.advanceAndFire(1.0, 1.0);
            if (second % 2 == 0) {
                EXPECT_TRUE(eventually([&] { return slow.keepAlives >= second / 2; }));
            }
            if (second == 10) {
                status.send(socket(), {"status"});
                EXPECT_TRUE(eventually([&] { return status.done.load(); })) << "status waited behind the apply";
            }
        }
        // A caller that queued behind the apply and left before its turn.
        QLocalSocket leaver;
        leaver.connectToServer(socket());
        EXPECT_TRUE(leaver.waitForConnected(5000));
        leaver.write(
            encodeFrame(FrameKind::Request, CommandRequest{{"preset", "create", "Gone"}, "/", false}.toPayload()));
        leaver.waitForBytesWritten(5000);
        EXPECT_TRUE(keptAlive([&] { return leaver.waitForReadyRead(20); })); // it is queued
        leaver.abort();
        EXPECT_TRUE(eventually([&] { return server_->connections() == 1; }));
        return replyOf("applied");
    });
    slow.send(socket(), {"apply", "Slow"});
    ASSERT_TRUE(served([&] { return slow.done.load(); }, 60000));
    ASSERT_TRUE(std::holds_alternative<CommandReply>(slow.answer));
    EXPECT_EQ(std::get<CommandReply>(slow.answer).standardOutput, "applied");
    EXPECT_TRUE(slow.started);
    EXPECT_GE(slow.keepAlives, 30);
    ASSERT_TRUE(std::holds_alternative<CommandReply>(status.answer));
    EXPECT_EQ(std::get<CommandReply>(status.answer).standardOutput, "quick");

    Caller after;
    after.send(socket(), {"settings", "set", "x", "1"});
    ASSERT_TRUE(served([&] { return after.done.load(); }));
    EXPECT_EQ(ran, (QStringList{"apply Slow", "settings set x 1"}));

    // The app quits while a request waits: the caller hears that it never ran.
    start([&](const CommandRequest& request) {
        if (request.arguments.first() == "quit") {
            EXPECT_TRUE(keptAlive([&] { return eventually([&] { return queued.keepAlives > 0; }, 20); }));
            server_->close();
        }
        return replyOf("bye");
    });
    Caller quit;
    quit.send(socket(), {"quit"});
    ASSERT_TRUE(eventually([&] { return server_->connections() == 1; }));
    queued.send(socket(), {"preset", "create", "Late"});
    ASSERT_TRUE(served([&] { return queued.done.load() && quit.done.load(); }));
    EXPECT_TRUE(std::holds_alternative<InstanceClient::NotStarted>(queued.answer));
    // And one that finds the socket gone.
    Caller gone;
    gone.send(socket(), {"preset", "create", "Later"});
    ASSERT_TRUE(eventually([&] { return gone.done.load(); }));
    EXPECT_TRUE(std::holds_alternative<InstanceClient::NotStarted>(gone.answer));
}

// A caller that holds a half frame is cut after the idle limit; frames are read as they come, so
// connections that claim the largest frame hold only what they sent; the app takes a bounded
// number of connections and tells the next one why not.
TEST_F(InstanceServerTest, HalfFramesAreBoundedInMemoryAndTimeAndConnectionsInNumber) {
    start([](const CommandRequest&) { return replyOf("done"); });
    const InstanceLimits limits;
    QByteArray claim = encodeFrame(FrameKind::Request, {}).left(8);
    claim += QByteArray("\x01\x00\x00\x00", 4); // 16 MiB, the largest frame allowed
    const QByteArray sent = claim + QByteArray(4096, 'x');
    std::vector<std::unique_ptr<QLocalSocket>> peers;
    for (int i = 0; i < limits.maxConnections; ++i) {
        auto peer = std::make_unique<QLocalSocket>();
        peer->connectToServer(socket());
        ASSERT_TRUE(peer->waitForConnected(5000));
        peer->write(sent);
        ASSERT_TRUE(peer->waitForBytesWritten(5000));
        peers.push_back(std::move(peer));
    }
    ASSERT_TRUE(eventually([&] { return server_->bufferedBytes() == limits.maxConnections * sent.size(); }));
    EXPECT_EQ(server_->connections(), limits.maxConnections);

    QLocalSocket extra;
    extra.connectToServer(socket());
    ASSERT_TRUE(extra.waitForConnected(5000));
    QByteArray answer;
    while (extra.waitForReadyRead(5000))
        answer += extra.readAll();
    FrameDecoder decoder;
    decoder.feed(answer);
    const auto frame = decoder.next();
    ASSERT_TRUE(frame);
    const auto reply = CommandReply::fromPayload(frame->payload);
    ASSERT_TRUE(std::holds_alternative<CommandReply>(reply));
    EXPECT_TRUE(std::get<CommandReply>(reply).standardError.contains("64 open connections"));

    // More bytes restart a connection's idle time; silence past the limit ends it.
    time_.timers.advanceAndFire(limits.idleSeconds - 1, 0.5);
    peers.front()->write("y");
    peers.front()->waitForBytesWritten(5000);
    ASSERT_TRUE(eventually([&] { return server_->bufferedBytes() == limits.maxConnections * sent.size() + 1; }));
    time_.timers.advanceAndFire(2, 0.5);
    EXPECT_TRUE(eventually([&] { return server_->connections() == 1; }));
    time_.timers.advanceAndFire(limits.idleSeconds, 0.5);
    EXPECT_TRUE(eventually([&] { return server_->connections() == 0; }));
    EXPECT_EQ(server_->bufferedBytes(), 0);
}

} // namespace
