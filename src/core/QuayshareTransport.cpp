#include "QuayshareTransport.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

namespace pierline {
namespace {

bool isLoopback(const QUrl& url) {
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

std::variant<QByteArray, QuayshareTransportFailure>
exchangeWithQuayshare(const QUrl& url, double timeoutSeconds, qint64 maximumBytes,
                      const std::function<QNetworkReply*(QNetworkAccessManager&, const QNetworkRequest&)>& start) {
    QNetworkAccessManager manager;
    // A proxy would see, or break, an exchange with this machine itself (Qt also skips it for
    // loopback; this keeps that whatever the proxy settings).
    if (isLoopback(url))
        manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = start(manager, request);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    bool tooLarge = false;
    const auto refuseIfTooLarge = [&](qint64 size) {
        if (size > maximumBytes && !tooLarge) {
            tooLarge = true;
            reply->abort();
        }
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop,
                     [&] { refuseIfTooLarge(reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                     [&](qint64 received, qint64) { refuseIfTooLarge(received); });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(static_cast<int>(timeoutSeconds * 1000));
    if (!reply->isFinished())
        loop.exec();
    timer.stop();

    const QByteArray body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    reply->deleteLater();
    using Kind = QuayshareTransportFailure::Kind;
    if (timedOut)
        return QuayshareTransportFailure{Kind::Timeout, 0, {}};
    if (tooLarge || body.size() > maximumBytes)
        return QuayshareTransportFailure{Kind::TooLarge, 0, {}};
    if (status != 0 && (status < 200 || status > 299))
        return QuayshareTransportFailure{Kind::Status, status, {}};
    if (error != QNetworkReply::NoError)
        return QuayshareTransportFailure{Kind::Network, 0, errorText};
    return body;
}

} // namespace pierline
