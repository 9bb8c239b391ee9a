#include "ApplyWait.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "apply/DockManager.h"
#include "core/PresetRecord.h"
#include "platform/Dispatch.h"
#include "platform/Terminal.h"
#include "store/DockPresetManager.h"
#include "targets/DockTarget.h"

#include <QEventLoop>
#include <QTextStream>
#include <QUuid>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("apply NAME | --id UUID [--bypass-cooldown] [--yes]");

// A preset with nothing in it empties a real desktop dock: a person on a terminal is asked, a
// script must say --yes. The sandbox Dock is ours to empty.
bool confirmEmptying(const DockPresetPtr& preset, bool yes) {
    if (!preset || !decodeApps(preset->apps()).isEmpty() || !preset->folderStacks().isEmpty())
        return true;
    const std::unique_ptr<DockTarget> target = currentDockTarget();
    if (target->id() == QLatin1String("sandbox"))
        return true;
    const QString warning = QStringLiteral("Warning: preset '%1' has no apps and no items; applying it empties %2.")
                                .arg(preset->name().value_or(QString()), target->displayName());
    err(warning);
    if (yes)
        return true;
    if (outputIsCaptured() || !standardInputIsTerminal()) {
        err(QStringLiteral("Nothing was applied; give --yes to apply it anyway."));
        return false;
    }
    errRaw("Apply it? [y/N] ");
    QTextStream input(stdin);
    const QString answer = input.readLine().trimmed().toLower();
    if (answer == QLatin1String("y") || answer == QLatin1String("yes"))
        return true;
    err(QStringLiteral("Nothing was applied."));
    return false;
}

} // namespace

int runApplyCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Applies a preset, picked by NAME or by --id, to the Dock and waits for its side effects "
                       "(closing apps, app actions)."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset's name (or give --id)."));
    const QCommandLineOption id(QStringLiteral("id"), QStringLiteral("Pick the preset by its UUID instead of NAME."),
                                QStringLiteral("UUID"));
    const QCommandLineOption bypass(QStringLiteral("bypass-cooldown"), QStringLiteral("Skip the apply cooldown."));
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QStringLiteral("Apply a preset with no apps and no items to a desktop dock (GNOME "
                                                "dash, Plank) without asking; it empties that dock."));
    parser.addOption(id);
    parser.addOption(bypass);
    parser.addOption(yes);
    if (auto exit = parse(parser, QStringLiteral("apply"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(id) ? !positional.isEmpty() : positional.size() != 1)
        return usageError(QStringLiteral("Expected either one preset NAME or --id UUID"), kUsage);
    std::optional<QUuid> uuid;
    if (parser.isSet(id)) {
        uuid = QUuid::fromString(parser.value(id));
        if (uuid->isNull())
            return usageError(QStringLiteral("Not a UUID: %1").arg(parser.value(id)), kUsage);
    }
    const QString target = uuid ? parser.value(id) : QLatin1Char('\'') + positional.first() + QLatin1Char('\'');
    // A mistyped home has no presets to apply: say so rather than make an empty one.
    if (!requireHome())
        return kExitFailed;
    DockPresetManager* presets = openPresetManager();
    if (!presets)
        return kExitFailed;
    if (!confirmEmptying(uuid ? presets->fetchPreset(*uuid) : presets->fetchPreset(positional.first()),
                         parser.isSet(yes)))
        return kExitFailed;

    // The apply runs on a background queue as the app's triggers do; the main thread keeps the
    // event loop for the store hops and the switch-context post.
    const bool bypassCooldown = parser.isSet(bypass);
    const QString name = uuid ? QString() : positional.first();
    return waitForApply(
        [uuid, name, bypassCooldown] {
            DockManager& manager = DockManager::shared();
            return uuid ? manager.applyPreset(*uuid, bypassCooldown) : manager.applyPreset(name, bypassCooldown);
        },
        target);
}

} // namespace pierline::cli
