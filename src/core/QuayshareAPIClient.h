#pragma once

#include "platform/HttpExchange.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>
#include <stdexcept>

namespace pierline {

// An upload that failed or whose answer could not be read; the description says which.
class QuayshareAPIError : public std::runtime_error {
public:
    explicit QuayshareAPIError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }

    // The record could not be turned into text.
    static QuayshareAPIError encodingError() {
        return QuayshareAPIError(QStringLiteral("The preset could not be encoded"));
    }

private:
    QString description_;
};

// The service's answer to a preset upload.
struct QuayshareUploadResponse {
    bool success = false;
    std::optional<bool> isNewUser;
    std::optional<QString> tempLoginUrl;

    // A JSON object with a boolean "success"; the other two optional. Throws QuayshareAPIError.
    static QuayshareUploadResponse decode(const QByteArray& body);
};

// Uploads presets and their icon archives to the sharing service. Waits in a local event loop.
class QuayshareAPIClient {
public:
    static constexpr double kDefaultTimeoutSeconds = 30.0;
    static constexpr qint64 kMaximumAnswerBytes = 16 * 1024 * 1024;
    static inline const QString kBuiltInBaseURL = QStringLiteral("https://quayshare.corvane.com/api");

    // An absent base URL is $PIERLINE_QUAYSHARE_URL when set, else the built-in endpoint.
    QuayshareAPIClient(std::optional<QUrl> baseURL, QString authToken, double timeoutSeconds = kDefaultTimeoutSeconds);

    static QUrl defaultBaseURL();
    const QUrl& baseURL() const { return baseURL_; }

    // POST <base>/presets with the record's JSON text, bearer-authorised.
    QuayshareUploadResponse uploadPreset(const QString& presetData) const;
    // POST <base>/presets/icons, multipart/form-data with the archive as the file part "icons".
    // The answer is not read beyond its status.
    void uploadPresetIcons(const QString& zipFilePath) const;

private:
    QUrl endpoint(const QString& path) const;
    // Sends `request` (its URL, body and headers set) with the token and this client's limits.
    QByteArray exchange(HttpRequest request) const;

    QUrl baseURL_;
    QString authToken_;
    double timeoutSeconds_;
};

} // namespace pierline
