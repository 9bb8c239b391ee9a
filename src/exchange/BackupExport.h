#pragma once

#include "BackupRecords.h"

#include <QUuid>
#include <stdexcept>

namespace pierline {

// An export that could not be encoded or written.
class ExportError : public std::runtime_error {
public:
    explicit ExportError(const QString& description)
        : std::runtime_error(description.toStdString()), description_(description) {}
    const QString& description() const { return description_; }

private:
    QString description_;
};

// One preset offered by the export wizard.
struct PresetSelectionItem {
    QUuid id = QUuid::createUuid();
    DockPresetPtr preset;
    bool isSelected = true;
    QString exportName;
};

// The export wizard's choices and the backup file they make.
struct ExportDocument {
    static inline const QString kDefaultFileName = QStringLiteral("DockPresets.json");
    static inline const QString kUntitledName = QStringLiteral("Untitled Preset");
    static inline const QString kIncludeFoldersOption = QStringLiteral("Include folders (Good for backups only)");
    static inline const QString kSuccessMessage = QStringLiteral("Selected presets have been exported successfully!");
    static inline const QString kErrorTitle = QStringLiteral("Export Error");

    QList<PresetSelectionItem> presets;
    bool includeFolders = false;
    std::optional<AppMetadataMap> appMetadata;

    // As the wizard opens: every preset selected under its own name (or "Untitled Preset").
    static ExportDocument forPresets(const QList<DockPresetPtr>& presets);
    // The app strings of the selected presets, in order.
    QStringList selectedApps() const;
    QList<DockPresetDTO> records() const;
    QByteArray data() const { return encodeBackup(records()); }
};

// Every item's path and URL with home-folder paths made neutral.
void sanitizeStacks(DockPresetDTO& record);

// A one-preset file for sharing: ids removed, paths sanitised, the notes in force.
DockPresetDTO singlePresetRecord(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata);
// Throws ExportError when the file cannot be written.
void writePresetFile(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata, const QString& path);

// Writes all of `bytes` to `path` and only then replaces the file; throws ExportError.
void writeExportFile(const QString& path, const QByteArray& bytes);

} // namespace pierline
