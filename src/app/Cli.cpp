#include "Cli.h"

#include "app/instance/HandOver.h"
#include "commands/Commands.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pierline::cli {

namespace {

std::atomic<CapturedOutput*> g_capture{nullptr};

// The first error writing our standard output (0 while every byte went out).
std::atomic<int> g_stdoutError{0};

void write(FILE* stream, const QByteArray& bytes) {
    const size_t size = static_cast<size_t>(bytes.size());
    const bool written = std::fwrite(bytes.constData(), 1, size, stream) == size && std::fflush(stream) == 0;
    if (!written && stream == stdout && g_stdoutError == 0)
        g_stdoutError = errno ? errno : EIO;
}

// A command whose answer did not reach its reader (a full disk, a closed file) has not succeeded.
int reportLostOutput(int exitCode) {
    const int error = g_stdoutError.exchange(0);
    if (error == 0 || exitCode != kExitOk)
        return exitCode;
    err(QStringLiteral("Could not write the output: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
    return kExitFailed;
}

} // namespace

void setCapturedOutput(CapturedOutput* capture) {
    g_capture = capture;
}

bool outputIsCaptured() {
    return g_capture.load() != nullptr;
}

void out(const QString& text) {
    outRaw(text.toUtf8() + '\n');
}

void outRaw(const QByteArray& bytes) {
    if (CapturedOutput* capture = g_capture.load()) {
        std::lock_guard lock(capture->mutex);
        capture->out.append(bytes);
    } else
        write(stdout, bytes);
}

void outJson(const QJsonObject& answer) {
    outRaw(QJsonDocument(answer).toJson(QJsonDocument::Indented));
}

void outJson(const QJsonArray& answer) {
    outRaw(QJsonDocument(answer).toJson(QJsonDocument::Indented));
}

void err(const QString& text) {
    errRaw(text.toUtf8() + '\n');
}

void errRaw(const QByteArray& bytes) {
    if (CapturedOutput* capture = g_capture.load()) {
        std::lock_guard lock(capture->mutex);
        capture->err.append(bytes);
    } else
        write(stderr, bytes);
}

namespace {

const QString kVerboseHelp = QStringLiteral("Also print progress lines on standard error (or PIERLINE_VERBOSE=1).");

bool isVerboseFlag(const QString& arg) {
    return arg == QLatin1String("-v") || arg == QLatin1String("--verbose");
}

// An option name that is all digits: the parser's reading of a negative number such as "-1".
bool isNumberOption(const QString& name) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    return digits.match(name).hasMatch();
}

} // namespace

bool isHelp(const QString& arg) {
    return arg == QLatin1String("-h") || arg == QLatin1String("--help");
}

void printUsage(const QString& usage, const QString& description) {
    out(QStringLiteral("Usage: pierline %1").arg(usage));
    if (!description.isEmpty())
        out(description);
}

bool requireHome() {
    const QString home = SystemPaths::home();
    const QFileInfo info(home);
    if (info.isDir())
        return true;
    if (info.exists()) {
        err(QStringLiteral("PIERLINE_HOME %1 is not a folder").arg(home));
        return false;
    }
    if (SystemPaths::homeIsExplicit()) {
        err(QStringLiteral("PIERLINE_HOME %1 does not exist; check the variable, or make it with "
                           "`pierline sandbox init`")
                .arg(home));
        return false;
    }
    if (!QDir().mkpath(home)) {
        err(QStringLiteral("Could not create the home folder %1").arg(home));
        return false;
    }
    return true;
}

std::optional<int> parse(QCommandLineParser& parser, const QString& commandPath, const QString& usage,
                         const QStringList& args) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    parser.addOption(help);
    // Taken off the command line before the command runs; listed so the help shows it.
    parser.addOption(QCommandLineOption({QStringLiteral("v"), QStringLiteral("verbose")}, kVerboseHelp));
    QStringList full = args;
    full.prepend(QStringLiteral("pierline ") + commandPath);
    if (!parser.parse(full)) {
        // "-1" reads as an option; no command takes a negative number, so say what is wrong with it.
        const QStringList unknown = parser.unknownOptionNames();
        const bool onlyNumbers = !unknown.isEmpty() && std::all_of(unknown.begin(), unknown.end(), isNumberOption);
        if (onlyNumbers)
            err(QStringLiteral("Invalid number -%1: positions and indexes must be 0 or more.").arg(unknown.first()));
        else
            err(parser.errorText());
        err(QStringLiteral("Usage: pierline %1").arg(usage));
        return kExitUsage;
    }
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // Qt's first line names the program; ours names the command.
        const qsizetype firstBreak = text.indexOf(QLatin1Char('\n'));
        if (firstBreak >= 0)
            text = text.mid(firstBreak + 1);
        out(QStringLiteral("Usage: pierline %1").arg(usage));
        outRaw(text.toUtf8());
        return kExitOk;
    }
    return std::nullopt;
}

namespace {

void printTopLevelHelp() {
    out(QStringLiteral("Usage: pierline [-v] <command> [options]"));
    out(QStringLiteral("Saves layouts of the Dock as presets and switches between them."));
    out(QString());
    out(QStringLiteral("Commands:"));
    for (const Command& c : commands())
        out(QStringLiteral("  %1  %2").arg(c.name, -10).arg(c.summary));
    out(QString());
    out(QStringLiteral("Options:"));
    out(QStringLiteral("  -v, --verbose  %1").arg(kVerboseHelp));
    out(QStringLiteral("  --version      Print the version and exit."));
    out(QString());
    out(QStringLiteral("Run `pierline <command> --help` for a command's options."));
    out(QStringLiteral("Exit codes: 0 done, 1 failed, 2 usage."));
}

// Edits (insertions, deletions, substitutions, swaps of neighbours) from one word to the other.
qsizetype editDistance(const QString& a, const QString& b) {
    QList<QList<qsizetype>> d(a.size() + 1, QList<qsizetype>(b.size() + 1, 0));
    for (qsizetype i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (qsizetype j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// The command a mistyped name most likely meant: the closest within two edits (one for short
// names), empty when none is that close.
QString nearestCommand(const QString& typed) {
    QString best;
    qsizetype bestDistance = 0;
    const QString lowered = typed.toLower();
    for (const Command& c : commands()) {
        const qsizetype distance = editDistance(lowered, c.name);
        const qsizetype allowed = c.name.size() <= 4 ? 1 : 2;
        if (distance <= allowed && (best.isEmpty() || distance < bestDistance)) {
            best = c.name;
            bestDistance = distance;
        }
    }
    return best;
}

bool verboseFromEnvironment() {
    const QByteArray value = qgetenv("PIERLINE_VERBOSE").trimmed().toLower();
    return !value.isEmpty() && value != "0" && value != "false" && value != "no";
}

} // namespace

const RouteEntry* routeEntryFor(const QStringList& args) {
    QStringList words;
    for (const QString& argument : args) {
        if (isHelp(argument))
            return nullptr;
        if (!argument.startsWith(QLatin1Char('-')))
            words.append(argument);
    }
    if (words.isEmpty())
        return nullptr;
    const auto command =
        std::find_if(commands().begin(), commands().end(), [&](const Command& c) { return c.name == words.first(); });
    if (command == commands().end() || command->routes.isEmpty())
        return nullptr;
    for (const RouteEntry& entry : command->routes) {
        if (!entry.option.isEmpty() && args.contains(QStringLiteral("--") + entry.option))
            return &entry;
    }
    const QString sub = words.value(1);
    for (const RouteEntry& entry : command->routes) {
        if (!entry.option.isEmpty())
            continue;
        if (!sub.isEmpty() && entry.subcommand == sub)
            return &entry;
    }
    return &command->routes.first();
}

Route routeFor(const QStringList& args) {
    const RouteEntry* entry = routeEntryFor(args);
    return entry ? entry->route : Route::Caller;
}

int runCommandLine(const QStringList& arguments) {
    QStringList args = arguments.mid(1);
    setVerbose(verboseFromEnvironment());
    // Asked here, where the person is, before a running app takes the command.
    if (const auto answered = askBeforeRunning(args))
        return reportLostOutput(*answered);
    if (const auto handled = handOverToRunningApp(args, routeFor(args)))
        return reportLostOutput(*handled);
    const int code = runCommand(args, false);
    // The running app's lines are progress, not its answer; the app keeps running without a reader.
    const auto command = std::find_if(args.cbegin(), args.cend(), [](const QString& a) { return !a.startsWith('-'); });
    if (command != args.cend() && *command == QLatin1String("run"))
        return code;
    return reportLostOutput(code);
}

int runCommand(QStringList args, bool inApp) {
    // -v may stand before the command or anywhere after it, up to a "--".
    bool verbose = inApp ? false : isVerbose();
    const qsizetype end = args.indexOf(QStringLiteral("--"));
    for (qsizetype i = (end < 0 ? args.size() : end) - 1; i >= 0; --i) {
        if (isVerboseFlag(args[i])) {
            verbose = true;
            args.removeAt(i);
        }
    }
    if (!inApp)
        setVerbose(verbose);
    // `help CMD [SUB]` is `CMD [SUB] --help`.
    if (args.size() > 1 && args.first() == QLatin1String("help") && !args[1].startsWith(QLatin1Char('-'))) {
        args.removeFirst();
        args.append(QStringLiteral("--help"));
    }
    if (args.isEmpty() || isHelp(args.first()) || args.first() == QLatin1String("help")) {
        printTopLevelHelp();
        return kExitOk;
    }
    if (args.first() == QLatin1String("--version")) {
        out(QStringLiteral("pierline " PIERLINE_VERSION));
        return kExitOk;
    }
    // A caller refuses these before handing them over; a request that reaches the app anyway
    // (an older or a hand-made client) is refused the same way.
    if (inApp && routeFor(args) == Route::RefusedWhileAppRuns) {
        err(kRefusedWhileAppRuns);
        return kExitFailed;
    }
    const QString name = args.takeFirst();
    for (const Command& c : commands()) {
        if (c.name == name) {
            // The answer owns stdout; progress goes to the log (and stderr when verbose). The app
            // prints its plain log on its own stdout as it happens.
            if (!inApp)
                setPlainLogToStderr(name != QLatin1String("run"));
            return c.run(args);
        }
    }
    if (const QString near = nearestCommand(name); !near.isEmpty())
        err(QStringLiteral("Unknown command: %1; did you mean '%2'?").arg(name, near));
    else
        err(QStringLiteral("Unknown command: %1").arg(name));
    err(QStringLiteral("Run `pierline --help` for the list of commands."));
    return kExitUsage;
}

} // namespace pierline::cli
