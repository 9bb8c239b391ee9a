#include "QuayshareImportClient.h"

#include "platform/HttpExchange.h"

namespace pierline {

QByteArray QuayshareImportClient::downloadPreset(const QUrl& url) const {
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        throw QuayshareImportError(QStringLiteral("Unsupported link: %1").arg(url.toString()));
    HttpRequest request;
    request.url = url;
    request.timeoutSeconds = timeoutSeconds_;
    request.maximumBytes = kMaximumBodyBytes;
    auto answer = exchangeHttp(request);
    if (auto* body = std::get_if<QByteArray>(&answer))
        return std::move(*body);
    const HttpFailure& failure = std::get<HttpFailure>(answer);
    switch (failure.kind) {
    case HttpFailure::Kind::Timeout:
        throw QuayshareImportError(QStringLiteral("The server did not answer within %1 seconds").arg(timeoutSeconds_));
    case HttpFailure::Kind::TooLarge:
        throw QuayshareImportError(QStringLiteral("The preset is larger than 16 MiB"));
    case HttpFailure::Kind::Status:
        throw QuayshareImportError(QStringLiteral("The server answered with status %1").arg(failure.status));
    case HttpFailure::Kind::Network:
        break;
    }
    throw QuayshareImportError(failure.text);
}

} // namespace pierline
