#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "exchange/BackupExport.h"
#include "exchange/SafariWebAppService.h"
#include "store/DockPresetManager.h"

namespace pierline::cli {
namespace {

// The gathered map, or nothing when no app gave a record.
std::optional<AppMetadataMap> gatherMetadata(const QStringList& apps) {
    SafariWebAppService service;
    AppMetadataMap map = service.extractMetadata(apps);
    if (map.isEmpty())
        return std::nullopt;
    return map;
}

int exportSingle(DockPresetManager& manager, const QString& name, const QString& path) {
    const DockPresetPtr preset = findPresetOrComplain(manager, name);
    if (!preset)
        return kExitFailed;
    const std::optional<AppMetadataMap> metadata = gatherMetadata(ExportDocument::forPresets({preset}).selectedApps());
    try {
        writePresetFile(*preset, metadata, path);
    } catch (const ExportError& error) {
        err(QStringLiteral("Failed to export preset: %1").arg(error.description()));
        return kExitFailed;
    }
    out(QStringLiteral("Your preset has been saved to %1").arg(path) +
        (metadata ? QStringLiteral(" (including Safari Web App metadata)") : QString()));
    return kExitOk;
}

} // namespace

int runExportCommand(const QStringList& args) {
    const QString usage =
        QStringLiteral("export FILE [--preset NAME]... [--rename NAME=NEW]... [--include-folders] | export FILE "
                       "--single NAME");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes presets to a backup file, in list order, with home-folder paths made portable. "
                       "Without --preset every preset is written. Folder stacks are left out unless "
                       "--include-folders is given (good for backups only). --single writes one preset with the "
                       "notes in force, as shared."));
    const QCommandLineOption preset(QStringLiteral("preset"), QStringLiteral("Export only these presets."),
                                    QStringLiteral("NAME"));
    const QCommandLineOption rename(QStringLiteral("rename"), QStringLiteral("Export NAME under the name NEW."),
                                    QStringLiteral("NAME=NEW"));
    const QCommandLineOption folders(QStringLiteral("include-folders"), ExportDocument::kIncludeFoldersOption);
    const QCommandLineOption single(QStringLiteral("single"), QStringLiteral("Write one preset as a shared file."),
                                    QStringLiteral("NAME"));
    parser.addOptions({preset, rename, folders, single});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The file to write."));
    if (auto exit = parse(parser, QStringLiteral("export"), usage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(positional.isEmpty() ? QStringLiteral("Missing FILE")
                                               : QStringLiteral("Unexpected argument: %1").arg(positional.at(1)),
                          usage);
    const QString path = positional.first();
    if (parser.isSet(single) && (parser.isSet(preset) || parser.isSet(rename) || parser.isSet(folders)))
        return usageError(QStringLiteral("--single takes no other option"), usage);
    if (parser.values(single).size() > 1)
        return usageError(QStringLiteral("--single takes one preset"), usage);
    QMap<QString, QString> renames;
    for (const QString& pair : parser.values(rename)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return usageError(QStringLiteral("--rename needs NAME=NEW, got %1").arg(pair), usage);
        renames.insert(pair.left(equals), pair.mid(equals + 1));
    }
    if (!requireHome())
        return kExitFailed;
    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    if (parser.isSet(single))
        return exportSingle(*manager, parser.value(single), path);

    const auto presets = fetchAllPresetsOrComplain(*manager);
    if (!presets)
        return kExitFailed;
    ExportDocument document = ExportDocument::forPresets(*presets);
    const QStringList chosen = parser.values(preset);
    QStringList unknown = chosen + renames.keys();
    for (PresetSelectionItem& item : document.presets) {
        const QString name = item.preset->name().value_or(QString());
        unknown.removeAll(name);
        if (!chosen.isEmpty())
            item.isSelected = chosen.contains(name);
        if (renames.contains(name))
            item.exportName = renames.value(name);
    }
    if (!unknown.isEmpty()) {
        err(QStringLiteral("No preset named '%1'.").arg(unknown.first()));
        return kExitFailed;
    }
    document.includeFolders = parser.isSet(folders);
    document.appMetadata = gatherMetadata(document.selectedApps());
    try {
        writeExportFile(path, document.data());
    } catch (const ExportError& error) {
        err(QStringLiteral("%1: %2").arg(ExportDocument::kErrorTitle, error.description()));
        return kExitFailed;
    }
    out(ExportDocument::kSuccessMessage);
    return kExitOk;
}

} // namespace pierline::cli
