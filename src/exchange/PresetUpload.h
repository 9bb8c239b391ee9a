#pragma once

#include "BackupRecords.h"
#include "core/QuayshareAPIClient.h"

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
    // The default makes each upload's client on the service's default endpoint.
    explicit PierlineAPIClient(ClientFactory makeClient = {});

    bool isUploading() const { return isUploading_; }
    const std::optional<QString>& uploadError() const { return uploadError_; }
    const std::optional<QuayshareUploadResponse>& uploadResult() const { return uploadResult_; }

    // The whole upload; waits for the answer. The failure is kept in uploadError(), the answer
    // (accepted or not) in uploadResult().
    void uploadPreset(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata);

    // The record as one pretty JSON object: no idString, apps and item paths sanitised, metadata
    // keys sanitised when there are any, notes as stored. Throws QuayshareAPIError::encodingError().
    static QString makeUploadData(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata);

    // What the share sheet says after an upload: the success text, or "Upload failed: ...".
    QString resultText() const;

private:
    ClientFactory makeClient_;
    bool isUploading_ = false;
    std::optional<QString> uploadError_;
    std::optional<QuayshareUploadResponse> uploadResult_;
};

} // namespace pierline
