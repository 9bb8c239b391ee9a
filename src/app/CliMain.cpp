#include "Cli.h"
#include "commands/Commands.h"

#include "platform/QtMessages.h"
#include "platform/SystemPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

char** g_argv = nullptr;

} // namespace

namespace pierline::cli {

namespace {

// Takes this process over with the app executable and the same command line.
int execApp() {
    const QString app = QDir(SystemPaths::toolsDirectory()).filePath(QStringLiteral("pierline-app"));
    const QByteArray path = QFile::encodeName(app);
    g_argv[0] = const_cast<char*>(path.constData());
    ::execv(path.constData(), g_argv);
    err(QStringLiteral("Cannot start %1: %2").arg(app, QString::fromLocal8Bit(std::strerror(errno))));
    return kExitFailed;
}

} // namespace

// This executable loads no GUI library; the app (windows, tray, alerts) and the commands that draw
// are the app executable, which takes over this process with the same command line.
int runRunCommand(const QStringList&) {
    return execApp();
}
int runSpacerCommand(const QStringList&) {
    return execApp();
}
int runShareCommand(const QStringList&) {
    return execApp();
}
int runIconsCommand(const QStringList&) {
    return execApp();
}

} // namespace pierline::cli

int main(int argc, char** argv) {
    g_argv = argv;
    pierline::sendQtMessagesToLog();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pierline"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvane.com"));
    return pierline::cli::runCommandLine(QCoreApplication::arguments());
}
