#include "AppArgument.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "switching/AppNoteManager.h"

namespace pierline::cli {
namespace {

const QString kUsage =
    QStringLiteral("note set [--global] [--preset NAME] APP TEXT\n       pierline note show APP [--preset NAME]");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

// The entry APP names: in the preset when one is given, else the entry form of the bundle.
std::optional<QString> resolveEntry(const DockPresetPtr& preset, const QString& presetName, const QString& app) {
    if (preset) {
        const auto entry = matchAppEntry(*preset, app);
        if (!entry)
            err(QStringLiteral("Preset '%1' has no app '%2'").arg(presetName, app));
        return entry;
    }
    const auto entry = entryForBundle(app);
    if (!entry)
        err(QStringLiteral("No application '%1' found").arg(app));
    return entry;
}

} // namespace

int runNoteCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: set or show"));
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Sets or shows an app's note in a preset and its global note. "
                                          "Run `pierline note set --help` for the arguments."));
        return kExitOk;
    }
    const QString sub = args.first();
    if (sub != QLatin1String("set") && sub != QLatin1String("show"))
        return usage(QStringLiteral("Unknown note subcommand: %1").arg(sub));
    const bool setting = sub == QLatin1String("set");

    QCommandLineParser parser;
    parser.setApplicationDescription(setting ? QStringLiteral("Sets an app's note in a preset, or its global note. "
                                                              "An empty TEXT removes the note.")
                                             : QStringLiteral("Shows an app's notes."));
    const QCommandLineOption global(QStringLiteral("global"), QStringLiteral("The app's note for every preset."));
    const QCommandLineOption presetOption(QStringLiteral("preset"), QStringLiteral("The preset."),
                                          QStringLiteral("NAME"));
    if (setting)
        parser.addOption(global);
    parser.addOption(presetOption);
    parser.addPositionalArgument(QStringLiteral("APP"), QStringLiteral("Stored entry, bundle path or app name."));
    if (setting)
        parser.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The note."));
    if (auto exit = parse(parser, QStringLiteral("note ") + sub, kUsage, args.mid(1)))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != (setting ? 2 : 1))
        return usage(expectedArguments(setting ? QStringList{QStringLiteral("APP"), QStringLiteral("TEXT")}
                                               : QStringList{QStringLiteral("APP")}));
    const bool isGlobal = setting && parser.isSet(global);
    if (isGlobal && parser.isSet(presetOption))
        return usage(QStringLiteral("Give either --global or --preset NAME, not both"));
    if (setting && !isGlobal && !parser.isSet(presetOption))
        return usage(QStringLiteral("Give --preset NAME, or --global"));
    if (!setting && !requireHome())
        return kExitFailed;

    DockPresetManager* opened = openPresetManager();
    if (!opened)
        return kExitFailed;
    DockPresetManager& manager = *opened;
    DockPresetPtr preset;
    const QString presetName = parser.value(presetOption);
    if (parser.isSet(presetOption)) {
        preset = findPresetOrComplain(manager, presetName);
        if (!preset)
            return kExitFailed;
    }
    const auto entry = resolveEntry(preset, presetName, positional[0]);
    if (!entry)
        return kExitFailed;

    AppNoteManager& notes = AppNoteManager::shared();
    if (!setting) {
        if (preset)
            out(QStringLiteral("preset: %1").arg(notes.note(*preset, *entry).value_or(QStringLiteral("(none)"))));
        out(QStringLiteral("global: %1").arg(notes.globalNote(*entry).value_or(QStringLiteral("(none)"))));
        return kExitOk;
    }
    try {
        if (isGlobal)
            notes.setGlobalNote(*entry, positional[1], manager.context());
        else
            notes.setNote(*preset, *entry, positional[1], manager.context());
    } catch (const AppNoteError& e) {
        err(e.description());
        return kExitFailed;
    } catch (const StoreError& e) {
        manager.context().rollback();
        err(QStringLiteral("Could not save the note: %1").arg(e.description()));
        return kExitFailed;
    }
    const bool removed = positional[1].trimmed().isEmpty();
    out(QStringLiteral("%1 %2 note for %3")
            .arg(removed ? QStringLiteral("Removed") : QStringLiteral("Set"),
                 isGlobal ? QStringLiteral("the global") : QStringLiteral("the preset"), *entry));
    return kExitOk;
}

} // namespace pierline::cli
