#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace pierline::cli {

// What the man page and the shell completions say of one command, taken from the command table and
// from the help each command and subcommand prints, so neither can drift from `--help`.
struct CommandDoc {
    QString name;
    QString summary;
    QString help;                   // `pierline NAME --help`
    QStringList subcommands;        // in table order
    QList<QString> subcommandHelps; // `pierline NAME SUB --help`, one per subcommand
    QStringList options;            // every --option the command's helps name, sorted
    QList<QStringList> subcommandOptions;
};

// Runs every command's help with the output captured; nothing else of the command runs.
QList<CommandDoc> collectCommandDocs();
QString topLevelHelp();

QString manPage(const QList<CommandDoc>& docs, const QString& topHelp, const QString& version);
QString bashCompletion(const QList<CommandDoc>& docs);
QString zshCompletion(const QList<CommandDoc>& docs);
QString fishCompletion(const QList<CommandDoc>& docs);

// Words the completions offer besides the table's commands.
QStringList extraTopLevelWords();

} // namespace pierline::cli
