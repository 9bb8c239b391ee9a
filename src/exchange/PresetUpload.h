#pragma once

#include "BackupRecords.h"
#include "core/QuayshareAPIClient.h"

#include <QFuture>
#include <QString>
#include <functional>
#include <optional>

namespace pierline {

// Publishes one preset on the sharing service: the record with home-folder paths made neutral,
// then the service's answer.
class PierlineAPIClient {
public:
    static const QString quayshareAuthToken;
    static inline const QString kServiceName = QStringLiteral("Quayshare");
    static inline const QString kNotAccepted = QStringLiteral("Quayshare did not accept the preset");

    using ClientFactory = std::function<QuayshareAPIClient(const QString& authToken)>;
    // The path of a new ZIP of the icons of a stored app list; throws a std::exception whose
    // what() says why not.
    using IconArchiver = std::function<QString(const std::optional<QString>& appsJSON)>;
    // The default makes each upload's client on the service's default endpoint.
    explicit PierlineAPIClient(IconArchiver makeIconArchive, ClientFactory makeClient = {});

    // How the icon upload ended: the line that tells it, and whether it is a failure.
    struct IconUploadOutcome {
        bool uploaded = false;
        QString line;
    };

    bool isUploading() const { return isUploading_; }
    const std::optional<QString>& uploadError() const { return uploadError_; }
    const std::optional<QuayshareUploadResponse>& uploadResult() const { return uploadResult_; }

    // The whole upload; waits for the answer. The failure is kept in uploadError(), the answer
    // (accepted or not) in uploadResult(). An accepted preset's icons are then uploaded in the
    // background (iconUpload()).
    void uploadPreset(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata);

    // The archive of the app list's icons, uploaded and removed. `presetName` absent is "Unknown".
    IconUploadOutcome uploadIcons(const std::optional<QString>& presetName,
                                  const std::optional<QString>& appsJSON) const;
    // The icon upload the last accepted preset started; nullopt when none was started. It may
    // outlive this object.
    const std::optional<QFuture<IconUploadOutcome>>& iconUpload() const { return iconUpload_; }

    // The record as one pretty JSON object: no idString, apps and item paths sanitised, metadata
    // keys sanitised when there are any, notes as stored. Throws QuayshareAPIError::encodingError().
    static QString makeUploadData(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata);

    // What the share sheet says after an upload: the success text, or "Upload failed: ...".
    QString resultText() const;

private:
    IconArchiver makeIconArchive_;
    ClientFactory makeClient_;
    bool isUploading_ = false;
    std::optional<QString> uploadError_;
    std::optional<QuayshareUploadResponse> uploadResult_;
    std::optional<QFuture<IconUploadOutcome>> iconUpload_;
};

} // namespace pierline
