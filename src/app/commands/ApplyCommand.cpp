#include "ApplyWait.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "apply/DockManager.h"
#include "platform/Dispatch.h"

#include <QEventLoop>
#include <QUuid>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("apply NAME | --id UUID [--bypass-cooldown]");

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
    parser.addOption(id);
    parser.addOption(bypass);
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
    if (!openPresetManager())
        return kExitFailed;

    // The apply runs on a background queue as the app's triggers do; the main thread keeps the
    // event loop for the store hops and the switch-context post.
    const bool bypassCooldown = parser.isSet(bypass);
    const QString name = uuid ? QString() : positional.first();
    // A local loop, so the same code waits inside the running app, whose main loop already runs.
    QEventLoop loop;
    int code = kExitFailed;
    runAsync(QueuePriority::UserInitiated, [uuid, name, target, bypassCooldown, &code, &loop] {
        int result = kExitFailed;
        QString failure;
        try {
            DockManager& manager = DockManager::shared();
            const ApplyHandle handle =
                uuid ? manager.applyPreset(*uuid, bypassCooldown) : manager.applyPreset(name, bypassCooldown);
            handle.waitForSideEffects();
            result = applyExitCode(handle);
            if (applyNeedsFailureLine(handle))
                failure = QStringLiteral("Applying %1 failed; see the messages above, or run with -v for every step")
                              .arg(target);
        } catch (const std::exception& e) {
            // The event loop must end whatever happened on the way.
            failure = QStringLiteral("Applying %1 failed: %2").arg(target, QString::fromUtf8(e.what()));
        }
        runOnMainAsync([result, failure, &code, &loop] {
            if (!failure.isEmpty())
                err(failure);
            code = result;
            loop.exit(result);
        });
    });
    loop.exec();
    return code;
}

} // namespace pierline::cli
