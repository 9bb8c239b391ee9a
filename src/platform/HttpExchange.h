#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <utility>
#include <variant>

namespace pierline {

// One HTTP request whose answer body is wanted whole (the sharing service's clients).
struct HttpRequest {
    // One part of a multipart/form-data body.
    struct FormPart {
        QByteArray contentType;
        QString disposition; // the Content-Disposition value: form-data; name=...; filename=...
        QByteArray body;
    };

    QUrl url;
    bool post = false; // else GET
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;            // a POST's body, unless formParts are given
    QList<FormPart> formParts;  // when any: the POST's body is multipart/form-data of them
    double timeoutSeconds = 30; // for the whole exchange
    qint64 maximumBytes = 0;    // an answer over this is cut off
};

// Why an exchange gave no answer body; each client words it.
struct HttpFailure {
    enum class Kind { Timeout, TooLarge, Status, Network };
    Kind kind;
    int status = 0; // for Status
    QString text;   // for Network: the transport's description
};

// Sends the request, follows redirects that are no less safe, and waits for the answer: a 2xx
// body, or why not. A request to this machine itself never goes through a proxy. Blocking; runs
// a local event loop.
std::variant<QByteArray, HttpFailure> exchangeHttp(const HttpRequest& request);

} // namespace pierline
