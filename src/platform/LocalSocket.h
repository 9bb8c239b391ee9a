#pragma once

#include <QByteArray>
#include <QString>

namespace pierline {

// The client end of one connection to a local stream socket (the running app's, a companion
// app's), used blocking from the thread that made it. Every wait has its own limit.
class LocalSocketClient {
public:
    enum class Outcome {
        Done,    // sent all, or some bytes came
        Timeout, // not within the limit; the connection stays
        Closed,  // the other end closed it (a read sees this after everything it sent)
        Failed,  // errorString() says why
    };

    LocalSocketClient() = default;
    ~LocalSocketClient();
    LocalSocketClient(const LocalSocketClient&) = delete;
    LocalSocketClient& operator=(const LocalSocketClient&) = delete;

    // False with errorString(); noServer() tells whether nothing listens at `path` (no socket
    // file, or a stale one nobody accepts on).
    bool connect(const QString& path, int timeoutMs);
    bool noServer() const { return noServer_; }
    // Sends all of `bytes` within the limit.
    Outcome write(const QByteArray& bytes, int timeoutMs);
    // Appends what came within the limit to `bytes`.
    Outcome read(QByteArray& bytes, int timeoutMs);
    void close();
    QString errorString() const { return error_; }

private:
    bool fail(const QString& what);
    int fd_ = -1;
    bool noServer_ = false;
    QString error_;
};

} // namespace pierline
