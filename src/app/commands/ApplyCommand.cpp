#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "apply/DockManager.h"
#include "platform/Dispatch.h"
#include "store/DockPresetManager.h"

#include <QCoreApplication>
#include <QUuid>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("apply NAME [--id UUID] [--bypass-cooldown]");

int exitCodeFor(ApplyHandle::Outcome outcome) {
    switch (outcome) {
    case ApplyHandle::Outcome::Written:
    case ApplyHandle::Outcome::HarborletOnly:
    case ApplyHandle::Outcome::AlreadyActive:
        return kExitOk;
    case ApplyHandle::Outcome::UnknownPreset:
    case ApplyHandle::Outcome::HeldByCooldown:
    case ApplyHandle::Outcome::WriteFailed:
        return kExitFailed;
    }
    return kExitFailed;
}

} // namespace

int runApplyCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Applies a preset to the Dock and waits for its side effects (closing apps, app actions)."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset's name."));
    const QCommandLineOption id(QStringLiteral("id"),
                                QStringLiteral("Pick the preset by its UUID; NAME is the fallback."),
                                QStringLiteral("UUID"));
    const QCommandLineOption bypass(QStringLiteral("bypass-cooldown"), QStringLiteral("Skip the apply cooldown."));
    parser.addOption(id);
    parser.addOption(bypass);
    if (auto exit = parse(parser, QStringLiteral("apply"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("Expected one preset NAME"), kUsage);
    QString name = parser.positionalArguments().first();
    std::optional<QUuid> uuid;
    if (parser.isSet(id)) {
        uuid = QUuid::fromString(parser.value(id));
        if (uuid->isNull())
            return usageError(QStringLiteral("Not a UUID: %1").arg(parser.value(id)), kUsage);
    }
    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    if (uuid) {
        if (const DockPresetPtr preset = manager->fetchPreset(*uuid))
            name = preset->name().value_or(name);
    }
    if (!findPresetOrComplain(*manager, name))
        return kExitFailed;

    // The apply runs on a background queue as the app's triggers do; the main thread keeps the
    // event loop for the store hops and the switch-context post.
    const bool bypassCooldown = parser.isSet(bypass);
    int code = kExitFailed;
    runAsync(QueuePriority::UserInitiated, [name, bypassCooldown, &code] {
        int result = kExitFailed;
        try {
            const ApplyHandle handle = DockManager::shared().applyPreset(name, bypassCooldown);
            handle.waitForSideEffects();
            result = exitCodeFor(handle.outcome);
        } catch (const std::exception& e) {
            // The event loop must end whatever happened on the way.
            err(QStringLiteral("Unexpected failure: %1").arg(QString::fromUtf8(e.what())));
        }
        runOnMainAsync([result, &code] {
            code = result;
            QCoreApplication::exit(result);
        });
    });
    QCoreApplication::exec();
    if (code == kExitFailed)
        err(QStringLiteral("Applying '%1' failed; see the log above").arg(name));
    return code;
}

} // namespace pierline::cli
