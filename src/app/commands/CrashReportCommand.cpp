#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/CrashReportFilter.h"

#include <QFile>
#include <QJsonDocument>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("crash-report filter EVENT.json");

} // namespace

int runCrashReportCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Says whether the crash reporter's filter sends or drops an event: \"send\" or \"drop\", then "
                       "the matched signature's line."));
    if (auto exit = parse(parser, QStringLiteral("crash-report"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 || positional.first() != QLatin1String("filter"))
        return usageError(QStringLiteral("crash-report takes filter and one event file"), kUsage);
    const QString path = positional.at(1);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err(QStringLiteral("Could not read %1: %2").arg(path, file.errorString()));
        return kExitFailed;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        err(QStringLiteral("%1 is not a crash report event: %2")
                .arg(path, error.error != QJsonParseError::NoError ? error.errorString()
                                                                   : QStringLiteral("not a JSON object")));
        return kExitFailed;
    }
    const CrashReportVerdict verdict = crashReportHangFilter(document.object());
    if (verdict.send) {
        out(QStringLiteral("send"));
        return kExitOk;
    }
    out(QStringLiteral("drop"));
    // The update alert's signature logs nothing; its name stands in.
    out(verdict.logLine.isEmpty() ? verdict.signature : verdict.logLine);
    return kExitOk;
}

} // namespace pierline::cli
