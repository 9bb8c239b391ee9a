#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/MenuBarManager.h"
#include "app/instance/RunningApp.h"
#include "platform/SystemPaths.h"

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("window open main|settings|import | window close NAME");

// `import` is what users type; the window's own name is importWizard.
QString windowName(const QString& typed) {
    if (typed == QLatin1String("import"))
        return kImportWizardWindowName;
    if (typed == kMainWindowName || typed == kSettingsWindowName || typed == kImportWizardWindowName)
        return typed;
    return {};
}

} // namespace

int runWindowCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Opens or closes a window of the running app."));
    if (auto exit = parse(parser, QStringLiteral("window"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 ||
        (positional.first() != QLatin1String("open") && positional.first() != QLatin1String("close")))
        return usageError(QStringLiteral("window takes open or close and a window name"), kUsage);
    const QString name = windowName(positional.at(1));
    if (name.isEmpty()) {
        err(QStringLiteral("No window named '%1'; the windows are main, settings and import").arg(positional.at(1)));
        return kExitFailed;
    }
    MenuBarManager* menuBar = MenuBarManager::current();
    if (!RunningApp::current() || !menuBar) {
        err(QStringLiteral("Pierline is not running on %1").arg(SystemPaths::home()));
        return kExitFailed;
    }
    AppShell& shell = AppShell::shared();
    if (positional.first() == QLatin1String("close")) {
        if (!shell.isWindowVisible(name)) {
            err(QStringLiteral("The %1 window is not open").arg(name));
            return kExitFailed;
        }
        shell.closeWindow(name);
        out(QStringLiteral("Closed the %1 window").arg(name));
        return kExitOk;
    }
    if (name == kMainWindowName)
        menuBar->showMainWindow();
    else if (name == kSettingsWindowName)
        menuBar->showSettings();
    else
        menuBar->openImportWizard();
    if (!shell.isWindowVisible(name)) {
        err(QStringLiteral("Could not open the %1 window: the preset store is not available").arg(name));
        return kExitFailed;
    }
    out(QStringLiteral("Opened the %1 window").arg(name));
    return kExitOk;
}

} // namespace pierline::cli
