#include "Cli.h"

#include "platform/GraphicalDisplay.h"

#include <QApplication>
#include <QCoreApplication>
#include <memory>

namespace {

// `run` (after global options such as -v) is the app; every other command is a plain tool.
bool isRunCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.startsWith('-'))
            continue;
        return argument == "run";
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // Widgets (alerts, later the status item) need a display; without one the app runs headless.
    std::unique_ptr<QCoreApplication> app;
    if (isRunCommand(argc, argv) && pierline::graphicalDisplayReachable()) {
        // A Wayland session's windows go through XWayland: Wayland lets no client place its own
        // windows. Only for this process; the apps it opens keep the session's choice.
        const bool viaXWayland = qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
                                 !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
                                 !qEnvironmentVariableIsEmpty("DISPLAY");
        if (viaXWayland)
            qputenv("QT_QPA_PLATFORM", "xcb");
        app = std::make_unique<QApplication>(argc, argv);
        if (viaXWayland)
            qunsetenv("QT_QPA_PLATFORM");
    } else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pierline"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvane.com"));
    return pierline::cli::runCommandLine(QCoreApplication::arguments());
}
