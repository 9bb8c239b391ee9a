#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace pierline::test {

// An HTTP server on 127.0.0.1 (a free port) that answers every request with one canned reply.
// It runs on the thread's event loop, so a client that waits in a local loop is served.
class LoopbackHttpServer {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        bool stall = false;       // read the request, answer nothing
        qint64 declaredSize = -1; // a Content-Length other than the body's
    };

    explicit LoopbackHttpServer(Reply reply) : reply_(std::move(reply)) {
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    // One request per connection; the last one is kept for the test.
                    const QByteArray seen = socket->property("request").toByteArray() + socket->readAll();
                    socket->setProperty("request", seen);
                    request_ = seen;
                    if (!seen.contains("\r\n\r\n") || reply_.stall || socket->property("answered").toBool())
                        return;
                    socket->setProperty("answered", true);
                    const qint64 size = reply_.declaredSize >= 0 ? reply_.declaredSize : reply_.body.size();
                    socket->write("HTTP/1.1 " + QByteArray::number(reply_.status) +
                                  " Status\r\nContent-Length: " + QByteArray::number(size) +
                                  "\r\nContent-Type: application/json\r\n"
                                  "Connection: close\r\n\r\n" +
                                  reply_.body);
                    if (reply_.declaredSize < 0)
                        socket->disconnectFromHost();
                });
            }
        });
        listening_ = server_.listen(QHostAddress::LocalHost, 0);
    }

    bool isListening() const { return listening_; }
    QUrl url(const QString& path = QStringLiteral("/preset")) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    const QByteArray& request() const { return request_; }

private:
    Reply reply_;
    QTcpServer server_;
    QByteArray request_;
    bool listening_ = false;
};

} // namespace pierline::test
