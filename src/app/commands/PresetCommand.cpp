#include "Commands.h"
#include "PresetCommandSupport.h"
#include "PresetShowExtras.h"

#include "app/Cli.h"
#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "editor/PresetEditor.h"
#include "editor/PresetListOperations.h"
#include "exchange/BackupRecords.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "targets/DockTarget.h"
#include "triggers/DesktopShortcutSync.h"

#include <QJsonArray>
#include <QJsonObject>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral(
    "preset create NAME [--from-dock] | rename NAME NEW_NAME | delete NAME | duplicate NAME | show NAME [--json] | "
    "move NAME POSITION | add-folder | add-file | add-url | move-item | remove-item | add-app | add-spacer | "
    "add-custom-spacer | "
    "remove-app | item-settings | update-from-dock | preview | delete-at | action | companion");

QString itemLine(int index, const DockFolderStack& item) {
    const QString type = item.effectiveType();
    QStringList parts{QString::number(index), type};
    if (type == QLatin1String("url"))
        parts.append(item.url().value_or(QString()));
    else
        parts.append(item.path().value_or(item.url().value_or(QString())));
    if (const auto label = item.label())
        parts.append(QStringLiteral("label=%1").arg(*label));
    if (type == QLatin1String("folder"))
        parts.append(QStringLiteral("displayAs=%1 showAs=%2 sortOrder=%3")
                         .arg(item.displayAs(), item.showAs(), item.sortOrder()));
    return parts.join(QStringLiteral("  "));
}

// The editor's row: shown index, type, location and the settings text.
QString rowLine(int index, const DockFolderStack& item) {
    const QString type = item.effectiveType();
    const QString location = type == QLatin1String("url") ? item.url().value_or(QString())
                                                          : item.path().value_or(item.url().value_or(QString()));
    return QStringList{QString::number(index), type, location, itemRowText(item)}.join(QStringLiteral("  "));
}

void printAppsAndItems(const QStringList& apps, const QList<DockFolderStackValues>& values) {
    out(QStringLiteral("Apps:"));
    for (qsizetype i = 0; i < apps.size(); ++i)
        out(QStringLiteral("  %1  %2  %3").arg(i).arg(appDisplayName(apps[i]), apps[i]));
    out(QStringLiteral("Items:"));
    for (qsizetype i = 0; i < values.size(); ++i) {
        DockFolderStack item;
        item.assign(values[i]);
        out(QStringLiteral("  ") + itemLine(static_cast<int>(i), item));
    }
}

int create(const QStringList& args) {
    const QString usage = QStringLiteral("preset create NAME [--from-dock]");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Makes a preset: empty, or a copy of the current Dock. Prints the new preset's identifier as "
                       "the only line on stdout, for scripts; a preset made empty is said so on stderr."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("Name of the new preset."));
    const QCommandLineOption fromDock(QStringLiteral("from-dock"),
                                      QStringLiteral("Copy the current Dock's apps, folders, files and links."));
    parser.addOption(fromDock);
    if (auto exit = parse(parser, QStringLiteral("preset create"), usage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(QStringLiteral("Expected one preset name."), usage);
    const QString name = positional.first();
    if (const auto problem = DockPreset::nameProblem(name))
        return usageError(*problem, usage);

    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    const auto target = currentDockTarget();
    CommandToasts toasts(true); // the answer is the new preset's id
    PresetListOperations list(*manager, *target, toasts);
    const DockPresetPtr preset = list.createPresetFromDialog(name, parser.isSet(fromDock));
    if (!preset)
        return kExitFailed; // the operation said why
    out(preset->idString());
    // stderr, so stdout stays the identifier alone.
    if (!parser.isSet(fromDock))
        err(QStringLiteral("Preset '%1' starts empty: add to it with `pierline preset add-app`, `add-folder`, "
                           "`add-file` or `add-url`, or create it with --from-dock to copy the current Dock.")
                .arg(name));
    return kExitOk;
}

struct Positional {
    QString name;
    QString help;
};

const Positional kPresetName{QStringLiteral("NAME"), QStringLiteral("The preset's name.")};

// Subcommands that take positional arguments only: rename, delete, duplicate, move.
std::optional<QStringList> positionalOnly(const QString& sub, const QString& usage, const QString& description,
                                          const QList<Positional>& names, const QStringList& args, int* exitCode) {
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    QStringList expected;
    for (const Positional& n : names) {
        parser.addPositionalArgument(n.name, n.help);
        expected.append(n.name);
    }
    if (auto exit = parse(parser, QStringLiteral("preset ") + sub, usage, args)) {
        *exitCode = *exit;
        return std::nullopt;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != names.size()) {
        *exitCode = usageError(expectedArguments(expected), usage);
        return std::nullopt;
    }
    return positional;
}

int rename(const QStringList& args) {
    const QString usage = QStringLiteral("preset rename NAME NEW_NAME");
    int code = kExitOk;
    const auto a =
        positionalOnly(QStringLiteral("rename"), usage, QStringLiteral("Renames a preset."),
                       {kPresetName, {QStringLiteral("NEW_NAME"), QStringLiteral("Its new name.")}}, args, &code);
    if (!a)
        return code;
    if (const auto problem = DockPreset::nameProblem((*a)[1]))
        return usageError(*problem, usage);
    const auto [manager, preset] = openPreset((*a)[0]);
    if (!preset || !preset->id())
        return kExitFailed;
    if (!manager->renamePreset(*preset->id(), (*a)[1]))
        return kExitFailed;
    // A desktop keybinding carries the preset's name; the rename itself stands either way.
    if (const auto error = syncDesktopKeybindings())
        printWarning(QStringLiteral("Could not update the desktop keybindings: %1").arg(*error));
    return kExitOk;
}

int remove(const QStringList& args) {
    int code = kExitOk;
    const auto a = positionalOnly(QStringLiteral("delete"), QStringLiteral("preset delete NAME"),
                                  QStringLiteral("Deletes a preset."), {kPresetName}, args, &code);
    if (!a)
        return code;
    const auto [manager, preset] = openPreset((*a)[0]);
    if (!preset)
        return kExitFailed;
    const auto target = currentDockTarget();
    CommandToasts toasts;
    return PresetListOperations(*manager, *target, toasts).deleteSelectedPreset(preset) ? kExitOk : kExitFailed;
}

int deleteAt(const QStringList& args) {
    const QString usage = QStringLiteral("preset delete-at I...");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Deletes the presets at these positions of the list, from 0."));
    parser.addPositionalArgument(QStringLiteral("I"), QStringLiteral("Positions in list order."),
                                 QStringLiteral("I..."));
    if (auto exit = parse(parser, QStringLiteral("preset delete-at"), usage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("Expected I."), usage);
    QList<int> offsets;
    for (const QString& text : positional) {
        const auto offset = parsePosition(text);
        if (!offset)
            return usageError(positionError(QStringLiteral("INDEX"), text), usage);
        offsets.append(*offset);
    }
    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    const auto fetched = fetchAllPresetsOrComplain(*manager);
    if (!fetched)
        return kExitFailed;
    const auto target = currentDockTarget();
    CommandToasts toasts;
    if (PresetListOperations(*manager, *target, toasts).deletePresets(offsets))
        return kExitOk;
    for (int offset : offsets) {
        if (offset >= fetched->size()) {
            QString range = QStringLiteral("the preset list has %1").arg(countOf(fetched->size(), "preset"));
            if (!fetched->isEmpty())
                range += QStringLiteral(" (0 to %1)").arg(fetched->size() - 1);
            err(QStringLiteral("INDEX %1 is out of range: %2.").arg(offset).arg(range));
            break;
        }
    }
    return kExitFailed;
}

// What a preset made from the Dock now would hold, printed as `show` prints a preset's.
int preview(const QStringList& args) {
    const QString usage = QStringLiteral("preset preview [--json]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows what a preset made from the current Dock would hold."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print {\"apps\": [...], \"items\": [...]}."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("preset preview"), usage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first()), usage);
    if (!requireHome())
        return kExitFailed;
    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    const auto target = currentDockTarget();
    CommandToasts toasts(parser.isSet(json));
    const auto dock = PresetListOperations(*manager, *target, toasts).previewCurrentDock();
    if (!dock)
        return kExitFailed;
    if (parser.isSet(json)) {
        QJsonArray items;
        for (const DockItem& item : dock->items)
            items.append(item.toJson());
        outJson(QJsonObject{{QStringLiteral("apps"), QJsonArray::fromStringList(dock->apps)},
                            {QStringLiteral("items"), items}});
        return kExitOk;
    }
    printAppsAndItems(dock->apps, storedItemsFromDock(dock->items, StoredItemKinds::All));
    return kExitOk;
}

int duplicate(const QStringList& args) {
    int code = kExitOk;
    const auto a = positionalOnly(QStringLiteral("duplicate"), QStringLiteral("preset duplicate NAME"),
                                  QStringLiteral("Copies a preset's apps into a new preset \"NAME Copy\"."),
                                  {kPresetName}, args, &code);
    if (!a)
        return code;
    const auto [manager, preset] = openPreset((*a)[0]);
    if (!preset)
        return kExitFailed;
    const DockPresetPtr copy = manager->duplicatePreset(preset);
    if (!copy)
        return kExitFailed;
    out(copy->name().value_or(QString()));
    return kExitOk;
}

int move(const QStringList& args) {
    const QString usage = QStringLiteral("preset move NAME POSITION");
    int code = kExitOk;
    const auto a = positionalOnly(
        QStringLiteral("move"), usage,
        QStringLiteral("Moves a preset in the list; POSITION counts from 0, before the move."),
        {kPresetName, {QStringLiteral("POSITION"), QStringLiteral("Where it goes, from 0.")}}, args, &code);
    if (!a)
        return code;
    const auto position = parsePosition((*a)[1]);
    if (!position)
        return usageError(positionError(QStringLiteral("POSITION"), (*a)[1]), usage);
    const auto [manager, preset] = openPreset((*a)[0]);
    if (!preset)
        return kExitFailed;
    const auto fetched = fetchAllPresetsOrComplain(*manager);
    if (!fetched)
        return kExitFailed;
    const QList<DockPresetPtr>& presets = *fetched;
    if (*position > presets.size()) {
        err(QStringLiteral("POSITION %1 is out of range: the preset list has %2 (0 to %3).")
                .arg(*position)
                .arg(countOf(presets.size(), QStringLiteral("preset")))
                .arg(presets.size()));
        return kExitFailed;
    }
    const int from = static_cast<int>(presets.indexOf(preset));
    return manager->movePresets({from}, *position) ? kExitOk : kExitFailed;
}

int show(const QStringList& args) {
    const QString usage = QStringLiteral("preset show NAME [--json] [--filter KIND] [--rows]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows one preset."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the preset's backup record."));
    const QCommandLineOption filter(
        QStringLiteral("filter"), QStringLiteral("Only the right-hand items of one kind: all, folders, files or urls."),
        QStringLiteral("KIND"), QStringLiteral("all"));
    const QCommandLineOption rows(QStringLiteral("rows"),
                                  QStringLiteral("The right-hand items as the editor's rows: index, type, location, "
                                                 "settings."));
    parser.addOptions({json, filter, rows});
    if (auto exit = parse(parser, QStringLiteral("preset show"), usage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usageError(expectedArguments({QStringLiteral("NAME")}), usage);
    const auto kind = dockItemFilterNamed(parser.value(filter));
    if (!kind)
        return usageError(
            QStringLiteral("Invalid --filter: %1 (all, folders, files or urls)").arg(parser.value(filter)), usage);
    if (!requireHome())
        return kExitFailed;
    const auto [manager, preset] = openPreset(parser.positionalArguments().first());
    if (!preset)
        return kExitFailed;
    const auto fetched = fetchAllPresetsOrComplain(*manager);
    if (!fetched)
        return kExitFailed;
    if (parser.isSet(filter) || parser.isSet(rows)) {
        // The right-hand list as the editor shows it, indices as the item commands count them.
        const auto target = currentDockTarget();
        CommandToasts toasts;
        PresetEditor editor(*manager, preset, *target, toasts);
        editor.setFilter(*kind);
        const QList<DockFolderStackPtr> items = editor.shownItems();
        for (qsizetype i = 0; i < items.size(); ++i)
            out((parser.isSet(rows) ? rowLine : itemLine)(static_cast<int>(i), *items[i]));
        return kExitOk;
    }
    if (parser.isSet(json)) {
        QJsonObject answer = presetListingJson(*preset);
        const QJsonObject extras = presetExtrasJson(*preset);
        for (auto it = extras.begin(); it != extras.end(); ++it)
            answer.insert(it.key(), it.value());
        outJson(answer);
        return kExitOk;
    }
    out(QStringLiteral("Name: %1").arg(preset->name().value_or(QString())));
    out(QStringLiteral("ID: %1").arg(preset->idString()));
    if (const auto created = preset->createdAt())
        out(QStringLiteral("Created: %1").arg(isoDate(*created)));
    // The place in the list, as `presets` numbers it and `preset move` takes it.
    out(QStringLiteral("Position: %1").arg(fetched->indexOf(preset)));
    out(QStringLiteral("Apps:"));
    const QStringList apps = decodeApps(preset->apps());
    for (qsizetype i = 0; i < apps.size(); ++i)
        out(QStringLiteral("  %1  %2  %3").arg(i).arg(appDisplayName(apps[i]), apps[i]));
    out(QStringLiteral("Items:"));
    const QList<DockFolderStackPtr> items = preset->folderStacksArray();
    for (qsizetype i = 0; i < items.size(); ++i)
        out(QStringLiteral("  ") + itemLine(static_cast<int>(i), *items[i]));
    for (const QString& line : presetExtrasLines(*preset))
        out(line);
    return kExitOk;
}

} // namespace

int runPresetCommand(const QStringList& args) {
    if (args.isEmpty())
        return usageError(QStringLiteral("Missing preset command."), kUsage);
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Run `pierline preset <command> --help` for a command's arguments."));
        return kExitOk;
    }
    const QString sub = args.first();
    const QStringList rest = args.mid(1);
    if (sub == QLatin1String("create"))
        return create(rest);
    if (sub == QLatin1String("rename"))
        return rename(rest);
    if (sub == QLatin1String("delete"))
        return remove(rest);
    if (sub == QLatin1String("duplicate"))
        return duplicate(rest);
    if (sub == QLatin1String("show"))
        return show(rest);
    if (sub == QLatin1String("move"))
        return move(rest);
    if (sub == QLatin1String("delete-at"))
        return deleteAt(rest);
    if (sub == QLatin1String("preview"))
        return preview(rest);
    if (isPresetItemCommand(sub))
        return runPresetItemCommand(sub, rest);
    if (sub == QLatin1String("action"))
        return runPresetActionCommand(rest);
    if (sub == QLatin1String("companion"))
        return runPresetCompanionCommand(rest);
    return usageError(QStringLiteral("Unknown preset command: %1").arg(sub), kUsage);
}

} // namespace pierline::cli
