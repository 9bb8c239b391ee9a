#include "PresetUpload.h"

#include "BackupExport.h"
#include "PathSanitizer.h"

#include <QJsonDocument>

namespace pierline {

// The service's key for this program: 43 letters, digits and underscores.
const QString PierlineAPIClient::quayshareAuthToken = QStringLiteral("pls_u8jzPde0IgxLd6GncfBAepfJBd0Kh8oOOL8dKLz");

PierlineAPIClient::PierlineAPIClient(ClientFactory makeClient) : makeClient_(std::move(makeClient)) {
    if (!makeClient_)
        makeClient_ = [](const QString& token) { return QuayshareAPIClient(std::nullopt, token); };
}

QString PierlineAPIClient::makeUploadData(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata) {
    DockPresetDTO record = DockPresetDTO::fromPreset(preset);
    record.idString.reset();
    record.apps = sanitizePath(record.apps);
    sanitizeStacks(record);
    record.appMetadata = appMetadata && !appMetadata->isEmpty() ? sanitizeKeys(*appMetadata) : appMetadata;
    const QJsonObject object = record.toJson();
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    // Text that is not valid Unicode (a lone surrogate) would reach the service altered.
    if (QJsonDocument::fromJson(bytes).object() != object)
        throw QuayshareAPIError::encodingError();
    return QString::fromUtf8(bytes);
}

void PierlineAPIClient::uploadPreset(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata) {
    isUploading_ = true;
    uploadError_.reset();
    try {
        const QString data = makeUploadData(preset, appMetadata);
        const QuayshareAPIClient client = makeClient_(quayshareAuthToken);
        uploadResult_ = client.uploadPreset(data);
    } catch (const QuayshareAPIError& error) {
        uploadError_ = error.description();
    }
    isUploading_ = false;
}

QString PierlineAPIClient::resultText() const {
    if (uploadError_)
        return QStringLiteral("Upload failed: %1").arg(*uploadError_);
    if (!uploadResult_ || !uploadResult_->success)
        return QStringLiteral("Upload failed: %1").arg(kNotAccepted);
    if (uploadResult_->isNewUser.value_or(false))
        return QStringLiteral("Welcome to %1! Your preset has been uploaded successfully. Click the 'Open %1' button "
                              "below to access your dashboard.")
            .arg(kServiceName);
    return QStringLiteral("Your preset has been uploaded successfully! Click the 'Open %1' button below to access "
                          "your dashboard.")
        .arg(kServiceName);
}

} // namespace pierline
