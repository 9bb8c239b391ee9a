#include "platform/linux/DesktopBackend.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

namespace pierline::desktop {
namespace {

bool isLoopback(const QUrl& url) {
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QNetworkReply* send(QNetworkAccessManager& manager, const HttpRequest& wanted) {
    QNetworkRequest request(wanted.url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    for (const auto& [name, value] : wanted.headers)
        request.setRawHeader(name, value);
    if (!wanted.post)
        return manager.get(request);
    if (wanted.formParts.isEmpty())
        return manager.post(request, wanted.body);
    auto* multipart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const HttpRequest::FormPart& wantedPart : wanted.formParts) {
        QHttpPart part;
        part.setHeader(QNetworkRequest::ContentTypeHeader, QString::fromUtf8(wantedPart.contentType));
        part.setHeader(QNetworkRequest::ContentDispositionHeader, wantedPart.disposition);
        part.setBody(wantedPart.body);
        multipart->append(part);
    }
    QNetworkReply* reply = manager.post(request, multipart);
    multipart->setParent(reply);
    return reply;
}

} // namespace

std::variant<QByteArray, HttpFailure> exchangeHttp(const HttpRequest& wanted) {
    QNetworkAccessManager manager;
    // A proxy would see, or break, an exchange with this machine itself (Qt also skips it for
    // loopback; this keeps that whatever the proxy settings).
    if (isLoopback(wanted.url))
        manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = send(manager, wanted);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    bool tooLarge = false;
    const auto refuseIfTooLarge = [&](qint64 size) {
        if (size > wanted.maximumBytes && !tooLarge) {
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
    timer.start(static_cast<int>(wanted.timeoutSeconds * 1000));
    if (!reply->isFinished())
        loop.exec();
    timer.stop();

    const QByteArray body = reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    reply->deleteLater();
    using Kind = HttpFailure::Kind;
    if (timedOut)
        return HttpFailure{Kind::Timeout, 0, {}};
    if (tooLarge || body.size() > wanted.maximumBytes)
        return HttpFailure{Kind::TooLarge, 0, {}};
    if (status != 0 && (status < 200 || status > 299))
        return HttpFailure{Kind::Status, status, {}};
    if (error != QNetworkReply::NoError)
        return HttpFailure{Kind::Network, 0, errorText};
    return body;
}

} // namespace pierline::desktop
