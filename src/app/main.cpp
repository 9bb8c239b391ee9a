#include "Cli.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Pierline"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("corvane.com"));
    return pierline::cli::runCommandLine(app.arguments());
}
