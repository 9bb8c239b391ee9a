#pragma once

#include "BackupRecords.h"
#include "InfoPlistReader.h"

#include <QStringList>
#include <optional>

namespace pierline {

// Gathers, for the apps of presets, which are web apps made by Safari ("Add to Dock") and their
// start and icon URLs, so an import can tell which apps must be made again.
class SafariWebAppService {
public:
    static inline const QString kWebAppIdentifierPrefix = QStringLiteral("com.apple.Safari.WebApp");

    // One entry per app for which a record could be made, under the app string as given;
    // spacer entries are skipped and each distinct string is looked up once.
    AppMetadataMap extractMetadata(const QStringList& appURLs);
    std::optional<SafariWebAppMetadata> extractMetadata(const QString& appURL);

    static bool isSafariWebApp(const QString& path);
    static std::optional<QString> faviconURL(const QString& appUrl);

    bool isProcessing() const { return isProcessing_; }
    // The last start URL that could not be read.
    const std::optional<InfoPlistError>& lastError() const { return lastError_; }

private:
    bool isProcessing_ = false;
    std::optional<InfoPlistError> lastError_;
};

} // namespace pierline
