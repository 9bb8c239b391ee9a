#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHostAddress>
#include <QMap>
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
                    const Reply& reply = replyFor(seen);
                    if (!isWhole(seen) || reply.stall || socket->property("answered").toBool())
                        return;
                    socket->setProperty("answered", true);
                    requests_.append(seen);
                    const qint64 size = reply.declaredSize >= 0 ? reply.declaredSize : reply.body.size();
                    socket->write("HTTP/1.1 " + QByteArray::number(reply.status) +
                                  " Status\r\nContent-Length: " + QByteArray::number(size) +
                                  "\r\nContent-Type: application/json\r\n"
                                  "Connection: close\r\n\r\n" +
                                  reply.body);
                    if (reply.declaredSize < 0)
                        socket->disconnectFromHost();
                });
            }
        });
        listening_ = server_.listen(QHostAddress::LocalHost, 0);
    }

    // Requests for `path` (as the request line names it) get `reply` instead of the canned one.
    void setReply(const QByteArray& path, Reply reply) { replies_.insert(path, std::move(reply)); }

    bool isListening() const { return listening_; }
    QUrl url(const QString& path = QStringLiteral("/preset")) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }
    const QByteArray& request() const { return request_; }
    // Every whole request (headers and the body its Content-Length announces), in order.
    const QByteArrayList& requests() const { return requests_; }

    // The parts of a request.
    static QByteArray headerOf(const QByteArray& request, const QByteArray& name) {
        const QByteArray head = request.left(request.indexOf("\r\n\r\n"));
        for (const QByteArray& line : head.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
                return line.mid(colon + 1).trimmed();
        }
        return {};
    }
    static QByteArray requestLine(const QByteArray& request) { return request.left(request.indexOf("\r\n")); }
    static QByteArray bodyOf(const QByteArray& request) {
        const qsizetype end = request.indexOf("\r\n\r\n");
        return end < 0 ? QByteArray() : request.mid(end + 4);
    }
    // The parts of a multipart/form-data request by their field name: their headers, then their body.
    struct FormPart {
        QByteArray headers;
        QByteArray body;
    };
    static QMap<QByteArray, FormPart> formParts(const QByteArray& request) {
        QMap<QByteArray, FormPart> parts;
        const QByteArray type = headerOf(request, "Content-Type");
        const qsizetype at = type.indexOf("boundary=");
        if (at < 0)
            return parts;
        QByteArray boundary = type.mid(at + 9);
        if (boundary.startsWith('"'))
            boundary = boundary.mid(1, boundary.indexOf('"', 1) - 1);
        const QByteArray body = bodyOf(request);
        const QByteArray delimiter = "--" + boundary;
        qsizetype from = body.indexOf(delimiter);
        while (from >= 0) {
            from += delimiter.size();
            if (body.mid(from, 2) == "--")
                break;
            const qsizetype next = body.indexOf("\r\n" + delimiter, from);
            if (next < 0)
                break;
            const QByteArray part = body.mid(from + 2, next - from - 2);
            const qsizetype split = part.indexOf("\r\n\r\n");
            FormPart parsed{part.left(split), part.mid(split + 4)};
            const qsizetype nameAt = parsed.headers.indexOf("name=\"");
            if (nameAt >= 0) {
                const qsizetype start = nameAt + 6;
                parts.insert(parsed.headers.mid(start, parsed.headers.indexOf('"', start) - start), parsed);
            }
            from = next + 2;
        }
        return parts;
    }

private:
    const Reply& replyFor(const QByteArray& request) const {
        const QByteArrayList words = requestLine(request).split(' ');
        const auto it = words.size() > 1 ? replies_.find(words[1]) : replies_.end();
        return it != replies_.end() ? *it : reply_;
    }
    static bool isWhole(const QByteArray& seen) {
        const qsizetype end = seen.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QByteArray length = headerOf(seen, "Content-Length");
        return length.isEmpty() || seen.size() - end - 4 >= length.toLongLong();
    }

    Reply reply_;
    QMap<QByteArray, Reply> replies_;
    QTcpServer server_;
    QByteArray request_;
    QByteArrayList requests_;
    bool listening_ = false;
};

} // namespace pierline::test
