#include "QuayshareImportClient.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
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

QByteArray QuayshareImportClient::downloadPreset(const QUrl& url) const {
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        throw QuayshareImportError(QStringLiteral("Unsupported link: %1").arg(url.toString()));
    QNetworkAccessManager manager;
    // A proxy would see, or break, a fetch from this machine itself (Qt also skips it for
    // loopback; this keeps that whatever the proxy settings).
    if (isLoopback(url))
        manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = manager.get(request);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    bool tooLarge = false;
    const auto refuseIfTooLarge = [&](qint64 size) {
        if (size > kMaximumBodyBytes && !tooLarge) {
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
    timer.start(static_cast<int>(timeoutSeconds_ * 1000));
    if (!reply->isFinished())
        loop.exec();
    timer.stop();

    const QByteArray body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    reply->deleteLater();
    if (timedOut)
        throw QuayshareImportError(QStringLiteral("The server did not answer within %1 seconds").arg(timeoutSeconds_));
    if (tooLarge || body.size() > kMaximumBodyBytes)
        throw QuayshareImportError(QStringLiteral("The preset is larger than 16 MiB"));
    if (status != 0 && (status < 200 || status > 299))
        throw QuayshareImportError(QStringLiteral("The server answered with status %1").arg(status));
    if (error != QNetworkReply::NoError)
        throw QuayshareImportError(errorText);
    return body;
}

} // namespace pierline
