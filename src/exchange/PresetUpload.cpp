#include "PresetUpload.h"

#include "BackupExport.h"
#include "PathSanitizer.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <QFile>
#include <QJsonDocument>

namespace pierline {
namespace {

// Why the archive could not be removed; nullopt when it is gone (or was never made).
std::optional<QString> removeArchive(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.exists() || file.remove())
        return std::nullopt;
    Logger(QStringLiteral("PresetUpload")).error(QStringLiteral("Cannot remove %1: %2").arg(path, file.errorString()));
    return QStringLiteral("Could not remove %1: %2").arg(path, file.errorString());
}

PierlineAPIClient::IconUploadOutcome uploadIconsWith(const PierlineAPIClient::IconArchiver& makeIconArchive,
                                                     const PierlineAPIClient::ClientFactory& makeClient,
                                                     const std::optional<QString>& presetName,
                                                     const std::optional<QString>& appsJSON) {
    const QString name = presetName.value_or(QStringLiteral("Unknown"));
    QString archive;
    try {
        archive = makeIconArchive(appsJSON);
        makeClient(PierlineAPIClient::quayshareAuthToken).uploadPresetIcons(archive);
    } catch (const std::exception& error) {
        removeArchive(archive);
        return {false,
                QStringLiteral("Failed to upload icons for preset %1: %2").arg(name, QString::fromUtf8(error.what()))};
    }
    if (const auto problem = removeArchive(archive))
        return {false, QStringLiteral("Failed to upload icons for preset %1: %2").arg(name, *problem)};
    return {true, QStringLiteral("Icons uploaded successfully for preset: %1").arg(name)};
}

} // namespace

// The service's key for this program: 43 letters, digits and underscores.
const QString PierlineAPIClient::quayshareAuthToken = QStringLiteral("pls_u8jzPde0IgxLd6GncfBAepfJBd0Kh8oOOL8dKLz");

PierlineAPIClient::PierlineAPIClient(IconArchiver makeIconArchive, ClientFactory makeClient)
    : makeIconArchive_(std::move(makeIconArchive)), makeClient_(std::move(makeClient)) {
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
    if (!uploadError_ && uploadResult_ && uploadResult_->success) {
        // Read here: the preset belongs to this thread's store context.
        iconUpload_ = runAsync(QueuePriority::Background,
                               [archiver = makeIconArchive_, factory = makeClient_, name = preset.name(),
                                apps = preset.apps()] { return uploadIconsWith(archiver, factory, name, apps); });
    }
    isUploading_ = false;
}

PierlineAPIClient::IconUploadOutcome PierlineAPIClient::uploadIcons(const std::optional<QString>& presetName,
                                                                    const std::optional<QString>& appsJSON) const {
    return uploadIconsWith(makeIconArchive_, makeClient_, presetName, appsJSON);
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
