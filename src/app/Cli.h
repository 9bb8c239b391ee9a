#pragma once

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>
#include <optional>

namespace pierline::cli {

// Exit codes of every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Standard output keeps a command's answer (text or JSON); messages go to standard error.
void out(const QString& text);        // one line to stdout
void outRaw(const QByteArray& bytes); // bytes to stdout, as they are
void err(const QString& text);        // one line to stderr
// A `--json` answer: the document, indented, on stdout.
void outJson(const QJsonObject& answer);
void outJson(const QJsonArray& answer);

// A command run inside the app for a caller writes its answer here instead of the process's own
// streams, so it prints exactly what it would have printed in-process.
struct CapturedOutput {
    std::mutex mutex; // side effects of a command may report from pool threads
    QByteArray out;
    QByteArray err;
};
void setCapturedOutput(CapturedOutput* capture); // nullptr: the process's stdout and stderr
// True while a command runs for a caller inside the app: no one reads this process's stdin.
bool outputIsCaptured();
void errRaw(const QByteArray& bytes); // bytes to stderr, as they are (a question before its answer)

// Where a command line runs while an app runs on the home. Changes go to the app, so its
// cooldown, last-applied record and settings effects stay true; reading runs in the caller.
enum class Route {
    Caller,
    App,
    RefusedWhileAppRuns, // would pull the home out from under the app
};

// Whether a command line may change the home (store, settings, Dock, files) or the app.
// ChangesOwnFiles: it changes only files that the running app neither holds nor caches (spacer
// bundles), so it may run in the caller beside the app.
enum class Effect { Reads, Changes, ChangesOwnFiles };

struct RouteEntry {
    QString subcommand; // empty: the bare command, and any subcommand without its own entry
    Route route;
    Effect effect;
    QString option; // set: the entry of any command line of this command that holds --option
};

struct Command {
    QString name;                                    // e.g. "dock"
    QString summary;                                 // one line for `pierline --help`
    std::function<int(const QStringList& args)> run; // args after the command name
    QList<RouteEntry> routes;                        // the first entry is the bare command's
};

inline const QString kRefusedWhileAppRuns = QStringLiteral("Pierline is running on this home; quit it first");

// Parses `args` (without the program and command names) with `parser`. Handles --help
// (prints `usage` and the options, returns kExitOk) and bad options (message, kExitUsage).
// Returns nullopt when the command should go on.
std::optional<int> parse(QCommandLineParser& parser, const QString& commandPath, const QString& usage,
                         const QStringList& args);

// Prints `usage` (one or more lines, each without "pierline ") and `description` on stdout.
void printUsage(const QString& usage, const QString& description = {});
bool isHelp(const QString& arg); // -h or --help

// For commands that only read: an explicit PIERLINE_HOME must exist (a typo must not become a new,
// empty home); the default home is made on first use. False after printing why.
bool requireHome();

// The table of subcommands; each lives in its own file under app/commands/.
const QList<Command>& commands();

// The table's entry for a command line (without the program name; -v anywhere is skipped). Help
// and unknown commands are answered where they are typed: null.
const RouteEntry* routeEntryFor(const QStringList& args);
Route routeFor(const QStringList& args);

// The process's entry: global options, then the command, handed to the running app of the home
// when it changes something and an app runs there.
int runCommandLine(const QStringList& arguments);
// One command line (without the program name), run here. `inApp`: inside the running app, whose
// plain log stays on its stdout.
int runCommand(QStringList args, bool inApp);

} // namespace pierline::cli
