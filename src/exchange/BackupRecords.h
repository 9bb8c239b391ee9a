#pragma once

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <stdexcept>

namespace pierline {

class ManagedObjectContext;

// A document that cannot be read as a whole: its description names the first fault found.
class BackupDecodeError : public std::runtime_error {
public:
    explicit BackupDecodeError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }

private:
    QString description_;
};

// What an app of a preset is, so an import can tell which apps need setting up again.
struct SafariWebAppMetadata {
    enum class AppType { Safari, Regular };
    QString appName;
    AppType appType = AppType::Regular;
    std::optional<QString> appUrl;
    std::optional<QString> appIcon;
    std::optional<QString> bundleIdentifier;

    QJsonObject toJson() const;
    static SafariWebAppMetadata fromJson(const QJsonObject& object, const QString& where); // throws BackupDecodeError
    bool operator==(const SafariWebAppMetadata&) const = default;
};
using AppMetadataMap = QMap<QString, SafariWebAppMetadata>;
QJsonObject appMetadataJson(const AppMetadataMap& map);

// One right-hand item as it travels.
struct DockFolderStackDTO {
    QString path;
    QString displayAs = QStringLiteral("folder");
    QString showAs = QStringLiteral("grid");
    QString sortOrder = QStringLiteral("name");
    qint16 order = 0;
    QString itemType = QStringLiteral("folder");
    QString url;
    QString label;

    static DockFolderStackDTO fromStack(const DockFolderStack& stack);
    QJsonObject toJson() const;
    static DockFolderStackDTO fromJson(const QJsonObject& object, const QString& where); // throws BackupDecodeError
    bool operator==(const DockFolderStackDTO&) const = default;
};

// One preset as it travels: the stored attributes except its list position, actions and
// companion settings.
struct DockPresetDTO {
    std::optional<QString> idString;
    QString name;
    QDateTime createdAt;
    QString apps;
    std::optional<QString> appNotes;
    QList<DockFolderStackDTO> folderStacks;
    std::optional<AppMetadataMap> appMetadata;
    std::optional<QString> lastContextStatus;
    std::optional<QString> lastContextNextSteps;
    std::optional<QDateTime> lastContextUpdatedAt;

    static DockPresetDTO fromPreset(const DockPreset& preset);
    QJsonObject toJson() const;                                                     // absent values omitted
    static DockPresetDTO fromJson(const QJsonObject& object, const QString& where); // throws BackupDecodeError
    // A new preset and its items in `context`, not saved; the caller sets its list position.
    DockPresetPtr makePreset(ManagedObjectContext& context) const;
    bool operator==(const DockPresetDTO&) const = default;
};

// The document: a JSON array of preset records. Reading is strict: any fault refuses it all.
QList<DockPresetDTO> decodeBackup(const QByteArray& bytes);   // throws BackupDecodeError
QByteArray encodeBackup(const QList<DockPresetDTO>& records); // pretty-printed

// A preset for listings: its record plus "idString" (when set) and "order".
QJsonObject presetListingJson(const DockPreset& preset);

// ISO 8601 in UTC with whole seconds and "Z".
QString isoDate(const QDateTime& date);
// Whole seconds with "Z" or a "+HH:MM"/"-HH:MM" offset; nullopt for anything else.
std::optional<QDateTime> parseIsoDate(const QString& text);

} // namespace pierline
