#include "QuayshareImportClient.h"

#include "QuayshareTransport.h"

#include <QNetworkReply>

namespace pierline {

QByteArray QuayshareImportClient::downloadPreset(const QUrl& url) const {
    if (!url.isValid() || (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http")))
        throw QuayshareImportError(QStringLiteral("Unsupported link: %1").arg(url.toString()));
    auto answer = exchangeWithQuayshare(
        url, timeoutSeconds_, kMaximumBodyBytes,
        [](QNetworkAccessManager& manager, const QNetworkRequest& request) { return manager.get(request); });
    if (auto* body = std::get_if<QByteArray>(&answer))
        return std::move(*body);
    const QuayshareTransportFailure& failure = std::get<QuayshareTransportFailure>(answer);
    switch (failure.kind) {
    case QuayshareTransportFailure::Kind::Timeout:
        throw QuayshareImportError(QStringLiteral("The server did not answer within %1 seconds").arg(timeoutSeconds_));
    case QuayshareTransportFailure::Kind::TooLarge:
        throw QuayshareImportError(QStringLiteral("The preset is larger than 16 MiB"));
    case QuayshareTransportFailure::Kind::Status:
        throw QuayshareImportError(QStringLiteral("The server answered with status %1").arg(failure.status));
    case QuayshareTransportFailure::Kind::Network:
        break;
    }
    throw QuayshareImportError(failure.text);
}

} // namespace pierline
