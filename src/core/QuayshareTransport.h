#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QString>
#include <functional>
#include <variant>

class QNetworkReply;

namespace pierline {

// Why an exchange with the sharing service gave no answer body; each client words it.
struct QuayshareTransportFailure {
    enum class Kind { Timeout, TooLarge, Status, Network };
    Kind kind;
    int status = 0; // for Status
    QString text;   // for Network: Qt's description
};

// The sharing clients' one way to the service: `start` sends the request on the given manager
// (a GET, a POST of bytes or of a multipart body); the answer is waited for in a local event loop
// for at most `timeoutSeconds`, and an answer over `maximumBytes` is cut off. A 2xx body, or why not.
// The request to this machine itself never goes through a proxy.
std::variant<QByteArray, QuayshareTransportFailure>
exchangeWithQuayshare(const QUrl& url, double timeoutSeconds, qint64 maximumBytes,
                      const std::function<QNetworkReply*(QNetworkAccessManager&, const QNetworkRequest&)>& start);

} // namespace pierline
