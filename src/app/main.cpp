#include "Cli.h"

#include "platform/GraphicalDisplay.h"
#include "platform/QtMessages.h"
#include "platform/TerminationRequest.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>

namespace {

// The command and its subcommand, after global options such as -v.
QList<QByteArray> commandWords(int argc, char** argv) {
    QList<QByteArray> words;
    for (int i = 1; i < argc && words.size() < 2; ++i) {
        const QByteArray argument(argv[i]);
        if (words.isEmpty() && argument.startsWith('-'))
            continue;
        words.append(argument);
    }
    return words;
}

// `run` is the app; every other command is a plain tool.
bool isRunCommand(const QList<QByteArray>& words) {
    return !words.isEmpty() && words[0] == "run";
}

// Commands that draw text or SVG icons need a QGuiApplication, display or not.
bool drawsIcons(const QList<QByteArray>& words) {
    static const QList<QByteArray> drawing = {"render", "create", "update"};
    if (!words.isEmpty() && (words[0] == "icons" || words[0] == "share"))
        return true;
    return words.size() == 2 && words[0] == "spacer" && drawing.contains(words[1]);
}

} // namespace

int main(int argc, char** argv) {
    // Before the application object, whose platform plugin talks the most.
    pierline::sendQtMessagesToLog();
    // Widgets (alerts, later the status item) need a display; without one the app runs headless.
    std::unique_ptr<QCoreApplication> app;
    const QList<QByteArray> words = commandWords(argc, argv);
    if (isRunCommand(words))
        pierline::keepRunningWithoutAReader();
    if (isRunCommand(words) && pierline::graphicalDisplayReachable()) {
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
    } else if (drawsIcons(words)) {
        // Off screen, so drawing works the same with a display, without one and over ssh.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pierline"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvane.com"));
    return pierline::cli::runCommandLine(QCoreApplication::arguments());
}
