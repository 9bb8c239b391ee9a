#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/instance/AppRequestRunner.h"
#include "app/instance/RunningApp.h"
#include "app/ui/MessageBoxAlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/TerminationRequest.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/StoreError.h"
#include "switching/AppSettings.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/ShortcutManager.h"

#include <QApplication>
#include <QCoreApplication>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("run");

} // namespace

int runRunCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs Pierline for this home: it keeps the store open and takes the commands that change "
        "something (apply, settings set, preset changes) from later calls. Quit with `pierline quit`, "
        "SIGTERM or Ctrl-C."));
    if (auto exit = parse(parser, QStringLiteral("run"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("run takes no arguments"), kUsage);
    if (!requireHome())
        return kExitFailed;

    // The lock comes first: a second instance must not open the store or run its migrations.
    RunningApp app;
    if (const auto code = app.start(runRequestInApp))
        return *code;

    DockPresetManager::setSharedOptions({.monitorNetwork = true, .networkMonitorFactory = {}});
    if (!openPresetManager())
        return kExitFailed;
    AppSettings::shared();
    // Stored key sequences and multi-presses work from launch; timing changes reach them here.
    AdvancedHotkeyManager::shared();
    AppSettings::setAdvancedHotkeyTimingSink([](double scopeTimeoutSeconds, double multiPressWindow) {
        runOnMainSync([&] { AdvancedHotkeyManager::shared().updateSettings(scopeTimeoutSeconds, multiPressWindow); });
    });
    // Confirmation boxes need widgets; without a window system they are answered Cancel.
    static MessageBoxAlertPresenter messageBoxes;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        AlertPresenter::setShared(&messageBoxes);
    // Stored preset and action shortcuts work from launch.
    ShortcutManager::shared();

    onTerminationRequest([] {
        printLine(QStringLiteral("[Pierline] Termination requested; quitting"));
        QCoreApplication::exit(0);
    });
    const int code = QCoreApplication::exec();

    int result = code;
    try {
        ManagedObjectContext& context = DockPresetManager::shared().context();
        if (context.hasChanges())
            context.save();
    } catch (const StoreError& error) {
        printWarning(QStringLiteral("Could not save the preset store on quit: %1").arg(error.description()));
        result = kExitFailed;
    }
    ShortcutManager::resetShared();
    app.shutDown();
    printLine(QStringLiteral("[Pierline] Quit"));
    return result;
}

} // namespace pierline::cli
