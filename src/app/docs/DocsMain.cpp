// Writes the man page and the shell completions from the command table, at build time.
#include "CommandDocs.h"

#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>

using namespace pierline;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "Usage: pierline-docs OUTPUT_FOLDER VERSION\n");
        return 2;
    }
    const QDir output(args[1]);
    // Help only reads; a home that does not exist shows it made nothing.
    const QString home = output.filePath(QStringLiteral("no-home"));
    qputenv("PIERLINE_HOME", QFile::encodeName(home));

    const QList<cli::CommandDoc> docs = cli::collectCommandDocs();
    const QList<std::pair<QString, QString>> files = {
        {QStringLiteral("pierline.1"), cli::manPage(docs, cli::topLevelHelp(), args[2])},
        {QStringLiteral("pierline.bash"), cli::bashCompletion(docs)},
        {QStringLiteral("_pierline"), cli::zshCompletion(docs)},
        {QStringLiteral("pierline.fish"), cli::fishCompletion(docs)},
    };
    if (QFileInfo::exists(home)) {
        std::fprintf(stderr, "pierline-docs: a command's help wrote to %s\n", qPrintable(home));
        return 1;
    }
    if (!QDir().mkpath(output.path())) {
        std::fprintf(stderr, "pierline-docs: could not create %s\n", qPrintable(output.path()));
        return 1;
    }
    for (const auto& [name, text] : files) {
        if (const auto failed = replaceFileAtomically(output.filePath(name), text.toUtf8())) {
            std::fprintf(stderr, "pierline-docs: %s\n", qPrintable(*failed));
            return 1;
        }
    }
    return 0;
}
