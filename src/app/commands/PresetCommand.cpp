#include "Commands.h"
#include "PresetCommandSupport.h"
#include "PresetShowExtras.h"

#include "app/Cli.h"
#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "exchange/BackupRecords.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "targets/DockTarget.h"
#include "triggers/DesktopShortcutSync.h"

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral(
    "preset create NAME [--from-dock] | rename NAME NEW_NAME | delete NAME | duplicate NAME | show NAME [--json] | "
    "move NAME POSITION | add-folder | add-file | add-url | move-item | remove-item | action | companion");

// Makes a preset from the current Dock: its apps and every folder, file and web link.
int createFromDock(DockPresetManager& manager, const QString& name) {
    const std::unique_ptr<DockTarget> target = currentDockTarget();
    auto reading = target->read();
    if (auto* error = std::get_if<DockReadError>(&reading)) {
        printWarning(QStringLiteral("Failed to read current dock while creating preset: %1").arg(error->description()));
        err(QStringLiteral("Could not read %1: %2").arg(target->displayName(), error->description()));
        return kExitFailed;
    }
    const DockPresetPtr preset = manager.createPresetFromDock(name, std::get<DockReading>(reading));
    if (!preset)
        return kExitFailed; // the manager said why
    if (decodeApps(preset->apps()).isEmpty() && preset->folderStacks().isEmpty())
        err(QStringLiteral("Preset created with no pinned Dock items copied."));
    out(preset->idString());
    return kExitOk;
}

int create(const QStringList& args) {
    const QString usage = QStringLiteral("preset create NAME [--from-dock]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Makes a preset: empty, or a copy of the current Dock."));
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
    if (parser.isSet(fromDock))
        return createFromDock(*manager, name);
    const DockPresetPtr preset = manager->createPreset(name, QStringLiteral("[]"));
    if (!preset)
        return kExitFailed; // the manager said why
    out(preset->idString());
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
    if (!preset || !preset->id())
        return kExitFailed;
    return manager->deletePreset(*preset->id()) ? kExitOk : kExitFailed;
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

int show(const QStringList& args) {
    const QString usage = QStringLiteral("preset show NAME [--json]");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows one preset."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the preset's backup record."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("preset show"), usage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usageError(expectedArguments({QStringLiteral("NAME")}), usage);
    if (!requireHome())
        return kExitFailed;
    const auto [manager, preset] = openPreset(parser.positionalArguments().first());
    if (!preset)
        return kExitFailed;
    const auto fetched = fetchAllPresetsOrComplain(*manager);
    if (!fetched)
        return kExitFailed;
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
    if (isPresetItemCommand(sub))
        return runPresetItemCommand(sub, rest);
    if (sub == QLatin1String("action"))
        return runPresetActionCommand(rest);
    if (sub == QLatin1String("companion"))
        return runPresetCompanionCommand(rest);
    return usageError(QStringLiteral("Unknown preset command: %1").arg(sub), kUsage);
}

} // namespace pierline::cli
