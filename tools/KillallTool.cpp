// The emulated `killall`: the only process it knows is the Dock, whose "restart" is a line in
// Library/Logs/Dock.log. Flags and exit codes follow the BSD killall of macOS.
#include "ToolSupport.h"

#include <QRegularExpression>

namespace pierline::tools {
namespace {

const QString kUsage =
    QStringLiteral("usage: killall [-delmsvqz] [-help] [-I] [-u user] [-t tty] [-c cmd] [-SIGNAL] [cmd]...\n"
                   "At least one option or argument to specify processes must be given.");

const QStringList kSignals = {
    QStringLiteral("HUP"),  QStringLiteral("INT"),    QStringLiteral("QUIT"), QStringLiteral("ILL"),
    QStringLiteral("TRAP"), QStringLiteral("ABRT"),   QStringLiteral("EMT"),  QStringLiteral("FPE"),
    QStringLiteral("KILL"), QStringLiteral("BUS"),    QStringLiteral("SEGV"), QStringLiteral("SYS"),
    QStringLiteral("PIPE"), QStringLiteral("ALRM"),   QStringLiteral("TERM"), QStringLiteral("URG"),
    QStringLiteral("STOP"), QStringLiteral("TSTP"),   QStringLiteral("CONT"), QStringLiteral("CHLD"),
    QStringLiteral("TTIN"), QStringLiteral("TTOU"),   QStringLiteral("IO"),   QStringLiteral("XCPU"),
    QStringLiteral("XFSZ"), QStringLiteral("VTALRM"), QStringLiteral("PROF"), QStringLiteral("WINCH"),
    QStringLiteral("INFO"), QStringLiteral("USR1"),   QStringLiteral("USR2")};

bool isSignalOption(const QString& arg) {
    QString name = arg.mid(1);
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    if (number.match(name).hasMatch())
        return name.toInt() > 0 && name.toInt() <= kSignals.size();
    name = name.toUpper();
    if (name.startsWith(QLatin1String("SIG")))
        name = name.mid(3);
    return kSignals.contains(name);
}

int usage() {
    printErr(kUsage);
    return 1;
}

int run(const QStringList& args) {
    bool quiet = false;
    bool showOnly = false;
    QStringList names;
    for (const QString& arg : args) {
        if (!names.isEmpty() || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            names.append(arg);
        } else if (arg == QLatin1String("-help")) {
            return usage();
        } else if (arg == QLatin1String("-l")) {
            writeOut(kSignals.join(QLatin1Char(' ')).toUtf8() + '\n');
            return 0;
        } else if (arg == QLatin1String("-q")) {
            quiet = true;
        } else if (arg == QLatin1String("-s")) {
            showOnly = true;
        } else if (arg == QLatin1String("-v") || arg == QLatin1String("-z") || arg == QLatin1String("-d")) {
            // Verbosity and zombie matching change nothing for the one process we know.
        } else if (isSignalOption(arg)) {
            // Every signal "restarts" the Dock, as launchd brings it back whatever killed it.
        } else {
            printErr(QStringLiteral("killall: illegal option -- %1").arg(arg.mid(1, 1)));
            return usage();
        }
    }
    if (names.isEmpty())
        return usage();

    bool matched = false;
    for (const QString& name : names) {
        if (name != QLatin1String("Dock"))
            continue;
        matched = true;
        if (showOnly) {
            writeOut(QByteArrayLiteral("kill -TERM Dock\n"));
            continue;
        }
        QString error;
        if (!recordDockRestart(&error)) {
            printErr(QStringLiteral("killall: %1").arg(error));
            return 1;
        }
    }
    if (!matched) {
        if (!quiet)
            printErr(QStringLiteral("No matching processes belonging to you were found"));
        return 1;
    }
    return 0;
}

} // namespace
} // namespace pierline::tools

int main(int argc, char** argv) {
    return pierline::tools::run(pierline::tools::argumentsOf(argc, argv));
}
