#include "BackupExport.h"

#include "PathSanitizer.h"
#include "core/PresetRecord.h"
#include "platform/AtomicFile.h"
#include "switching/AppNoteManager.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace pierline {

void sanitizeStacks(DockPresetDTO& record) {
    for (DockFolderStackDTO& stack : record.folderStacks) {
        stack.path = sanitizePath(stack.path);
        stack.url = sanitizePath(stack.url);
    }
}

ExportDocument ExportDocument::forPresets(const QList<DockPresetPtr>& presets) {
    ExportDocument document;
    for (const auto& preset : presets) {
        PresetSelectionItem item;
        item.preset = preset;
        item.exportName = preset->name().value_or(kUntitledName);
        document.presets.append(item);
    }
    return document;
}

QStringList ExportDocument::selectedApps() const {
    QStringList apps;
    for (const auto& item : presets) {
        if (item.isSelected)
            apps += decodeApps(item.preset->apps());
    }
    return apps;
}

QList<DockPresetDTO> ExportDocument::records() const {
    std::optional<AppMetadataMap> metadata = appMetadata;
    if (metadata && !metadata->isEmpty())
        metadata = sanitizeKeys(*metadata);
    QList<DockPresetDTO> records;
    for (const auto& item : presets) {
        if (!item.isSelected)
            continue;
        DockPresetDTO record = DockPresetDTO::fromPreset(*item.preset);
        record.idString.reset();
        record.name = item.exportName;
        record.apps = sanitizePath(record.apps);
        sanitizeStacks(record);
        if (!includeFolders) {
            record.folderStacks.removeIf(
                [](const DockFolderStackDTO& stack) { return stack.itemType == QLatin1String("folder"); });
        }
        record.appMetadata = metadata;
        records.append(record);
    }
    return records;
}

DockPresetDTO singlePresetRecord(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata) {
    DockPresetDTO record = DockPresetDTO::fromPreset(preset);
    record.idString.reset();
    // Quietly: an undecodable list counts as empty here.
    QStringList apps;
    const QJsonDocument list = QJsonDocument::fromJson(record.apps.toUtf8());
    bool allStrings = list.isArray();
    for (const QJsonValue& value : list.array()) {
        allStrings = allStrings && value.isString();
        apps.append(value.toString());
    }
    if (!allStrings)
        apps.clear();
    const QJsonObject notes = AppNoteManager::shared().notesInForce(preset, apps);
    if (notes.isEmpty())
        record.appNotes.reset();
    else
        record.appNotes = sanitizeNoteKeys(QString::fromUtf8(QJsonDocument(notes).toJson(QJsonDocument::Compact)));
    record.apps = sanitizePath(record.apps);
    sanitizeStacks(record);
    if (appMetadata)
        record.appMetadata = sanitizeKeys(*appMetadata);
    return record;
}

void writePresetFile(const DockPreset& preset, const std::optional<AppMetadataMap>& appMetadata, const QString& path) {
    writeExportFile(path, encodeBackup({singlePresetRecord(preset, appMetadata)}));
}

void writeExportFile(const QString& path, const QByteArray& bytes) {
    if (const auto error = replaceFileAtomically(path, bytes))
        throw ExportError(*error);
}

} // namespace pierline
