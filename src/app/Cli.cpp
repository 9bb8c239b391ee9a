#include "Cli.h"

#include "platform/Log.h"

#include <cstdio>

namespace pierline::cli {

void out(const QString& text) { outRaw(text.toUtf8() + '\n'); }

void outRaw(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void err(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

std::optional<int> parse(QCommandLineParser& parser, const QString& commandPath, const QString& usage,
                         const QStringList& args) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser.addOption(help);
    QStringList full = args;
    full.prepend(QStringLiteral("pierline ") + commandPath);
    if (!parser.parse(full)) {
        err(parser.errorText());
        err(QStringLiteral("Usage: pierline %1").arg(usage));
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // Qt's first line names the program; ours names the command.
        const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
        if (firstBreak >= 0) text = text.mid(firstBreak + 1);
        out(QStringLiteral("Usage: pierline %1").arg(usage));
        outRaw(text.toUtf8());
        return kExitOk;
    }
    return std::nullopt;
}

namespace {

void printTopLevelHelp() {
    out(QStringLiteral("Usage: pierline <command> [options]"));
    out(QStringLiteral("Saves layouts of the Dock as presets and switches between them."));
    out(QString());
    out(QStringLiteral("Commands:"));
    for (const Command& c : commands()) out(QStringLiteral("  %1  %2").arg(c.name, -10).arg(c.summary));
    out(QString());
    out(QStringLiteral("Run `pierline <command> --help` for a command's options."));
}

} // namespace

int runCommandLine(const QStringList& arguments) {
    QStringList args = arguments.mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h") ||
        args.first() == QLatin1String("help")) {
        printTopLevelHelp();
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    const QString name = args.takeFirst();
    for (const Command& c : commands()) {
        if (c.name == name) {
            // The answer owns stdout; the plain log goes to stderr.
            setPlainLogToStderr(true);
            return c.run(args);
        }
    }
    err(QStringLiteral("Unknown command: %1").arg(name));
    err(QStringLiteral("Run `pierline --help` for the list of commands."));
    return kExitUsage;
}

} // namespace pierline::cli
