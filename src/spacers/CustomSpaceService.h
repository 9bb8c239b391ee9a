#pragma once

#include "CustomSpaceIconDesign.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <optional>

namespace pierline {

inline const QString kCustomSpaceMetadataFileName = QStringLiteral("PierlineCustomSpaceMetadata.json");
inline const QString kCustomSpaceUploadedSourceIconFileName = QStringLiteral("PierlineCustomSpaceSourceIcon.png");

// Why a spacer could not be made, changed or removed: the text the user sees.
struct CustomSpaceError {
    QString description;

    static CustomSpaceError alreadyExists(const QString& name);
    static CustomSpaceError compilationFailed(const QString& details);
    static CustomSpaceError iconGenerationFailed(const QString& details);
    static CustomSpaceError invalidName(const QString& details);
    static CustomSpaceError invalidPath();
    static CustomSpaceError fileSystem(const QString& message) { return {message}; }
};

// The record in each bundle's Resources that tells how it was made.
struct CustomSpaceMetadata {
    int schemaVersion = 1;
    QString name;
    CustomSpaceIconMode iconMode = CustomSpaceIconMode::Create;
    std::optional<CustomSpaceGeneratedIconConfig> generatedIconConfig;
    std::optional<QString> sourceIconFileName;

    QByteArray toJson() const; // indented, keys sorted
    struct Decoded;
    static Decoded fromJson(const QByteArray& bytes);
};
struct CustomSpaceMetadata::Decoded {
    std::optional<CustomSpaceMetadata> metadata;
    QString error; // names the key
};

struct CustomSpaceInfo {
    QString bundlePath; // the bundle, no trailing "/"
    QString name;       // its file name without ".app"
    QByteArray icon;    // PNG bytes, as the workspace reports them
};

struct CustomSpaceEditableConfiguration {
    QString bundlePath;
    QString name;
    CustomSpaceIconMode iconMode = CustomSpaceIconMode::Create;
    std::optional<CustomSpaceGeneratedIconConfig> generatedIconConfig;
    std::optional<QImage> sourceUploadImage;
};

// A bundle path, or why there is none.
struct CustomSpaceResult {
    std::optional<QString> bundlePath;
    std::optional<CustomSpaceError> error;
};

// Builds, rebuilds, lists and removes the spacer bundles of this home's spacer folder.
class CustomSpaceService {
public:
    static constexpr double kDefaultCommandTimeLimit = 10.0;
    explicit CustomSpaceService(double commandTimeLimit = kDefaultCommandTimeLimit)
        : commandTimeLimit_(commandTimeLimit) {}

    QList<CustomSpaceInfo> listCustomSpaces() const;
    // The bundle a Dock item's URL (or a path) names, when it is a spacer of this home.
    std::optional<QString> customSpaceURL(const QString& dockURLString) const;
    bool isNameAvailable(const QString& name, const QString& editedBundlePath = {}) const;
    static QString sanitize(const QString& name);

    // `uploadImage` is stored beside the metadata in upload mode.
    CustomSpaceResult create(const QString& name, CustomSpaceIconMode mode,
                             const std::optional<CustomSpaceGeneratedIconConfig>& config, const QImage& iconImage,
                             const std::optional<QImage>& uploadImage = std::nullopt) const;
    // Rebuilds the configuration's bundle, under its (new) name.
    CustomSpaceResult update(const CustomSpaceEditableConfiguration& configuration, const QImage& iconImage) const;
    std::optional<CustomSpaceEditableConfiguration> loadEditableConfiguration(const QString& bundlePath) const;
    std::optional<CustomSpaceError> deleteSpace(const QString& bundlePath) const;
    std::optional<CustomSpaceError> deleteSpaceForDockURL(const QString& dockURLString) const;

private:
    std::optional<CustomSpaceError> buildBundle(const QString& bundle, const QString& name,
                                                const CustomSpaceMetadata& metadata, const QImage& iconImage,
                                                const std::optional<QImage>& uploadImage) const;
    QString runCommand(const QString& command) const;
    void refresh(const QString& bundle) const;

    double commandTimeLimit_;
};

// The Info.plist text of a spacer bundle.
QByteArray customSpaceInfoPlist(const QString& name);
// A path inside single quotes for the shell: nothing in it runs.
QString shellQuoted(const QString& path);

} // namespace pierline
