#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "core/PresetRecord.h"
#include "exchange/BackupRecords.h"
#include "store/DockPresetManager.h"
#include "store/PersistenceController.h"
#include "store/SqliteStore.h"
#include "triggers/ShortcutManager.h"

#include <QJsonArray>

namespace pierline::cli {

DockPresetManager* openPresetManager(StoreUse use) {
    // The network diagnostics serve the running app only.
    DockPresetManager::setSharedOptions({.monitorNetwork = use == StoreUse::RunningApp, .networkMonitorFactory = {}});
    PersistenceController& controller = PersistenceController::shared();
    if (!controller.isStoreReady()) {
        err(kCoreDataInitializationFailedMessage);
        if (const auto& error = controller.loadError())
            err(QStringLiteral("Could not open the preset store %1: %2")
                    .arg(controller.storeLocation(), error->description()));
        return nullptr;
    }
    if (const auto damage = controller.storeDamage()) {
        // Rows on a damaged page can read as missing: a list or a write would be wrong.
        err(QStringLiteral("Could not read the stored presets. %1")
                .arg(SqliteStore::damagedStoreMessage(controller.storeLocation(), *damage)));
        return nullptr;
    }
    DockPresetManager& manager = DockPresetManager::shared();
    // A deleted preset's shortcuts and hotkeys go with it, from the app's live managers too.
    manager.setPresetDeletionHandler(DockPresetManager::DeletionHook::Triggers,
                                     &ShortcutManager::removeTriggersOfDeletedPreset);
    return &manager;
}

std::optional<QList<DockPresetPtr>> fetchAllPresetsOrComplain(DockPresetManager& manager) {
    try {
        return manager.fetchAllPresetsOrThrow();
    } catch (const StoreError& error) {
        err(PersistenceError::fetchFailed(error).description());
        return std::nullopt;
    }
}

DockPresetPtr findPresetOrComplain(DockPresetManager& manager, const QString& name) {
    DockPresetPtr preset;
    try {
        preset = manager.fetchPresetOrThrow(name);
    } catch (const StoreError& error) {
        err(PersistenceError::fetchFailed(error).description());
        return nullptr;
    }
    if (!preset)
        err(QStringLiteral("No preset named '%1'.").arg(name));
    return preset;
}

PresetLookup openPreset(const QString& name) {
    PresetLookup lookup;
    lookup.manager = openPresetManager();
    if (lookup.manager)
        lookup.preset = findPresetOrComplain(*lookup.manager, name);
    return lookup;
}

std::optional<int> parsePosition(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

int usageError(const QString& message, const QString& usage) {
    err(message);
    err(QStringLiteral("Usage: pierline %1").arg(usage));
    return kExitUsage;
}

QString expectedArguments(const QStringList& names) {
    if (names.size() <= 1)
        return QStringLiteral("Expected %1").arg(names.value(0));
    return QStringLiteral("Expected %1 and %2")
        .arg(names.mid(0, names.size() - 1).join(QStringLiteral(", ")), names.last());
}

int runPresetsCommand(const QStringList& args) {
    const QString usage = QStringLiteral("presets [--json]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the presets in list order."));
    const QCommandLineOption json(
        QStringLiteral("json"),
        QStringLiteral("Print each preset as its backup record with \"idString\" and \"order\"."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("presets"), usage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first()), usage);
    if (!requireHome())
        return kExitFailed;

    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    const auto fetched = fetchAllPresetsOrComplain(*manager);
    if (!fetched)
        return kExitFailed;
    const QList<DockPresetPtr>& presets = *fetched;
    if (parser.isSet(json)) {
        QJsonArray records;
        for (const auto& preset : presets)
            records.append(presetListingJson(*preset));
        outJson(records);
        return kExitOk;
    }
    // Numbered by place in the list, the position `preset move` takes; the stored order may skip.
    // One write for the whole list: a thousand presets are not a thousand system calls.
    QByteArray listing;
    for (qsizetype position = 0; position < presets.size(); ++position) {
        const DockPresetPtr& preset = presets[position];
        const qsizetype apps = decodeApps(preset->apps()).size();
        const qsizetype items = preset->folderStacks().size();
        listing += QStringLiteral("%1  %2  (%3 apps, %4 items)  %5\n")
                       .arg(position)
                       .arg(preset->name().value_or(QString()))
                       .arg(apps)
                       .arg(items)
                       .arg(preset->idString())
                       .toUtf8();
    }
    outRaw(listing);
    return kExitOk;
}

} // namespace pierline::cli
