#include "platform/LocalSocket.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pierline {
namespace {

using Outcome = LocalSocketClient::Outcome;

// A listening server whose side of one accepted connection the test drives.
struct Server {
    explicit Server(const QString& path) { EXPECT_TRUE(server.listen(path)) << server.errorString().toStdString(); }
    QLocalSocket* accept() {
        if (!server.waitForNewConnection(5000))
            return nullptr;
        return server.nextPendingConnection();
    }
    QLocalServer server;
};

QByteArray readAtLeast(QLocalSocket* socket, qsizetype count) {
    QByteArray bytes;
    while (bytes.size() < count && (socket->bytesAvailable() > 0 || socket->waitForReadyRead(5000)))
        bytes += socket->readAll();
    return bytes;
}

// Only a missing socket file or one nobody accepts on counts as "no server": the caller then
// knows the app is gone rather than broken.
TEST(LocalSocket, NoServerOnlyWhereNothingListens) {
    QTemporaryDir dir;
    LocalSocketClient client;
    EXPECT_FALSE(client.connect(dir.filePath("missing"), 1000));
    EXPECT_TRUE(client.noServer());

    // A socket file left by a process that went away.
    const QString stale = dir.filePath("stale");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(stale);
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(stale));
    EXPECT_FALSE(client.connect(stale, 1000));
    EXPECT_TRUE(client.noServer()) << client.errorString().toStdString();

    // A path no socket can have is an error of its own.
    const QString tooLong = dir.filePath(QString(200, QLatin1Char('x')));
    EXPECT_FALSE(client.connect(tooLong, 1000));
    EXPECT_FALSE(client.noServer());
    EXPECT_TRUE(client.errorString().contains(tooLong)) << client.errorString().toStdString();

    // A plain file at the path is not a server either, and says why.
    const QString plain = dir.filePath("plain");
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(client.connect(plain, 1000));
    EXPECT_FALSE(client.errorString().isEmpty());
}

// Bytes go both ways; a read with nothing there times out and keeps the connection; what the
// server sent before it closed is read before the close is seen.
TEST(LocalSocket, ExchangesBytesAndSeesTheCloseAfterTheLastOnes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.sock");
    Server server(path);
    LocalSocketClient client;
    ASSERT_TRUE(client.connect(path, 1000)) << client.errorString().toStdString();
    QLocalSocket* peer = server.accept();
    ASSERT_NE(peer, nullptr);

    ASSERT_EQ(client.write("ping\n", 1000), Outcome::Done);
    EXPECT_EQ(readAtLeast(peer, 5), "ping\n");

    QByteArray bytes;
    EXPECT_EQ(client.read(bytes, 0), Outcome::Timeout);
    EXPECT_TRUE(bytes.isEmpty());

    peer->write("pong\nbye\n");
    ASSERT_TRUE(peer->waitForBytesWritten(5000));
    peer->disconnectFromServer();
    QByteArray answer;
    Outcome outcome = Outcome::Done;
    while ((outcome = client.read(answer, 5000)) == Outcome::Done) {
    }
    EXPECT_EQ(outcome, Outcome::Closed);
    EXPECT_EQ(answer, "pong\nbye\n");
    EXPECT_EQ(client.write("late", 1000), Outcome::Closed);
}

// A writer whose reader stops reading gives up at its limit instead of hanging.
TEST(LocalSocket, AWriteToAReaderThatStopsTimesOut) {
    QTemporaryDir dir;
    const QString path = dir.filePath("app.sock");
    Server server(path);
    LocalSocketClient client;
    ASSERT_TRUE(client.connect(path, 1000));
    QLocalSocket* peer = server.accept();
    ASSERT_NE(peer, nullptr);
    // Far more than the kernel buffers of both ends hold.
    EXPECT_EQ(client.write(QByteArray(64 << 20, 'x'), 50), Outcome::Timeout);
}

} // namespace
} // namespace pierline
