#include "QuayshareAPIClient.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

namespace pierline {

QuayshareUploadResponse QuayshareUploadResponse::decode(const QByteArray& body) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw QuayshareAPIError(QStringLiteral("Quayshare's answer is not a JSON object"));
    const QJsonObject object = document.object();
    const QJsonValue success = object.value(QLatin1String("success"));
    if (!success.isBool())
        throw QuayshareAPIError(success.isUndefined() ? QStringLiteral("Quayshare's answer has no \"success\"")
                                                      : QStringLiteral("Quayshare's \"success\" is not true or false"));
    QuayshareUploadResponse response;
    response.success = success.toBool();
    const QJsonValue newUser = object.value(QLatin1String("isNewUser"));
    if (newUser.isBool())
        response.isNewUser = newUser.toBool();
    else if (!newUser.isUndefined() && !newUser.isNull())
        throw QuayshareAPIError(QStringLiteral("Quayshare's \"isNewUser\" is not true or false"));
    const QJsonValue link = object.value(QLatin1String("tempLoginUrl"));
    if (link.isString())
        response.tempLoginUrl = link.toString();
    else if (!link.isUndefined() && !link.isNull())
        throw QuayshareAPIError(QStringLiteral("Quayshare's \"tempLoginUrl\" is not text"));
    return response;
}

QuayshareAPIClient::QuayshareAPIClient(std::optional<QUrl> baseURL, QString authToken, double timeoutSeconds)
    : baseURL_(baseURL.value_or(defaultBaseURL())), authToken_(std::move(authToken)), timeoutSeconds_(timeoutSeconds) {}

QUrl QuayshareAPIClient::defaultBaseURL() {
    const QString configured = QProcessEnvironment::systemEnvironment().value(QStringLiteral("PIERLINE_QUAYSHARE_URL"));
    return QUrl(configured.isEmpty() ? kBuiltInBaseURL : configured);
}

QUrl QuayshareAPIClient::endpoint(const QString& path) const {
    QUrl url = baseURL_;
    QString base = url.path();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    url.setPath(base + path);
    return url;
}

QByteArray QuayshareAPIClient::exchange(HttpRequest request) const {
    const QUrl& url = request.url;
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        throw QuayshareAPIError(QStringLiteral("Unsupported Quayshare address: %1").arg(url.toString()));
    request.headers.append(std::pair<QByteArray, QByteArray>("Authorization", "Bearer " + authToken_.toUtf8()));
    request.timeoutSeconds = timeoutSeconds_;
    request.maximumBytes = kMaximumAnswerBytes;
    auto answer = exchangeHttp(request);
    if (auto* body = std::get_if<QByteArray>(&answer))
        return std::move(*body);
    const HttpFailure& failure = std::get<HttpFailure>(answer);
    switch (failure.kind) {
    case HttpFailure::Kind::Timeout:
        throw QuayshareAPIError(QStringLiteral("Quayshare did not answer within %1 seconds").arg(timeoutSeconds_));
    case HttpFailure::Kind::TooLarge:
        throw QuayshareAPIError(QStringLiteral("Quayshare's answer is larger than 16 MiB"));
    case HttpFailure::Kind::Status:
        throw QuayshareAPIError(QStringLiteral("Quayshare answered with status %1").arg(failure.status));
    case HttpFailure::Kind::Network:
        break;
    }
    throw QuayshareAPIError(failure.text);
}

QuayshareUploadResponse QuayshareAPIClient::uploadPreset(const QString& presetData) const {
    const QByteArray body = presetData.toUtf8();
    HttpRequest request;
    request.url = endpoint(QStringLiteral("/presets"));
    request.post = true;
    request.headers.append(std::pair<QByteArray, QByteArray>("Content-Type", "application/json"));
    request.body = body;
    const QByteArray answer = exchange(std::move(request));
    return QuayshareUploadResponse::decode(answer);
}

void QuayshareAPIClient::uploadPresetIcons(const QString& zipFilePath) const {
    QFile archive(zipFilePath);
    if (!archive.open(QIODevice::ReadOnly))
        throw QuayshareAPIError(QStringLiteral("Could not read %1: %2").arg(zipFilePath, archive.errorString()));
    const QByteArray bytes = archive.readAll();
    HttpRequest request;
    request.url = endpoint(QStringLiteral("/presets/icons"));
    request.post = true;
    request.formParts.append(
        {"application/zip",
         QStringLiteral("form-data; name=\"icons\"; filename=\"%1\"").arg(QFileInfo(zipFilePath).fileName()), bytes});
    exchange(std::move(request));
}

} // namespace pierline
