#include "AppArgument.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "core/BrowserProfileLauncherLite.h"
#include "core/PresetRecord.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "switching/ActionManager.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace pierline::cli {
namespace {

const QString kUsage =
    QStringLiteral("preset action set NAME APP --open-app | --ide PROJECT | --browser-profile DIR --profile-name N\n"
                   "       pierline preset action remove NAME APP");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

} // namespace

int runPresetActionCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: set or remove"));
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Sets or removes the action an app runs when the preset applies. "
                                          "Run `pierline preset action set --help` for the options."));
        return kExitOk;
    }
    const QString sub = args.first();
    if (sub != QLatin1String("set") && sub != QLatin1String("remove"))
        return usage(QStringLiteral("Unknown action subcommand: %1").arg(sub));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Sets or removes the action an app runs when the preset applies."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset's name."));
    parser.addPositionalArgument(QStringLiteral("APP"), QStringLiteral("The app: stored entry, bundle path or name."));
    const QCommandLineOption openApp(QStringLiteral("open-app"), QStringLiteral("Open the app."));
    const QCommandLineOption ide(QStringLiteral("ide"), QStringLiteral("Open PROJECT in the app (an IDE)."),
                                 QStringLiteral("PROJECT"));
    const QCommandLineOption profile(QStringLiteral("browser-profile"),
                                     QStringLiteral("Open the browser with the profile directory DIR."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption profileName(QStringLiteral("profile-name"), QStringLiteral("The profile's display name."),
                                         QStringLiteral("N"));
    if (sub == QLatin1String("set")) {
        parser.addOption(openApp);
        parser.addOption(ide);
        parser.addOption(profile);
        parser.addOption(profileName);
    }
    if (auto exit = parse(parser, QStringLiteral("preset action ") + sub, kUsage, args.mid(1)))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return usage(expectedArguments({QStringLiteral("NAME"), QStringLiteral("APP")}));

    std::unique_ptr<AppAction> action;
    if (sub == QLatin1String("set")) {
        const int kinds = int(parser.isSet(openApp)) + int(parser.isSet(ide)) + int(parser.isSet(profile));
        if (kinds != 1)
            return usage(QStringLiteral("Give exactly one of --open-app, --ide, --browser-profile"));
        if (parser.isSet(openApp)) {
            action = std::make_unique<OpenAppAction>();
        } else if (parser.isSet(ide)) {
            const QString project = parser.value(ide);
            if (project.trimmed().isEmpty())
                return usage(QStringLiteral("--ide needs a project path"));
            action = std::make_unique<OpenInIDEAction>(
                QFileInfo(project).isRelative() ? QDir::current().absoluteFilePath(project) : QDir::cleanPath(project));
        } else {
            if (parser.value(profile).isEmpty())
                return usage(QStringLiteral("--browser-profile needs a directory"));
            if (!parser.isSet(profileName))
                return usage(QStringLiteral("--browser-profile needs --profile-name"));
            action = std::make_unique<OpenBrowserProfileAction>(parser.value(profile), parser.value(profileName), true);
        }
    }

    const PresetLookup lookup = openPreset(positional[0]);
    if (!lookup.preset)
        return kExitFailed;
    DockPresetManager& manager = *lookup.manager;
    const DockPresetPtr& preset = lookup.preset;
    const auto entry = matchAppEntry(*preset, positional[1]);
    if (!entry) {
        err(QStringLiteral("Preset '%1' has no app '%2'").arg(positional[0], positional[1]));
        return kExitFailed;
    }
    if (parser.isSet(profile)) {
        const QString appPath = QUrl(*entry).toLocalFile();
        if (!BrowserProfileLauncherLite::supportsProfiles(BrowserProfileLauncherLite::browserType(appPath))) {
            err(QStringLiteral("%1 is not a browser Pierline opens with a profile (Chrome, Edge, Brave, Vivaldi, Arc "
                               "or Firefox); use --open-app")
                    .arg(appDisplayName(*entry)));
            return kExitFailed;
        }
    }
    try {
        if (action) {
            ActionManager::shared().setAction(*preset, *entry, *action, manager.context());
            out(QStringLiteral("Set %1 action for %2 in '%3'").arg(action->type(), *entry, positional[0]));
        } else {
            if (!ActionManager::decodeActions(preset->appActions()).contains(*entry)) {
                out(nothingToRemove(QStringLiteral("Preset '%1' has no action for %2").arg(positional[0], *entry)));
                return kExitOk;
            }
            ActionManager::shared().removeAction(*preset, *entry, manager.context());
            out(QStringLiteral("Removed the action for %1 in '%2'").arg(*entry, positional[0]));
        }
    } catch (const StoreError& e) {
        err(QStringLiteral("Could not save the preset: %1").arg(e.description()));
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace pierline::cli
