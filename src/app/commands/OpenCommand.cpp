#include "ApplyWait.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/instance/HandOver.h"
#include "app/instance/RunningApp.h"
#include "app/links/LinkService.h"
#include "platform/GraphicalDisplay.h"
#include "triggers/DeepLinks.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("open URL...");
const QString kNeedsDisplay = QStringLiteral("The import wizard needs a display; use `pierline import URL`");
constexpr int kAppStartLimitMs = 20000;

// A link whose action shows a window of the app.
bool needsWindow(const QString& link) {
    if (rawScheme(link) != kDeepLinkScheme)
        return false;
    const auto host = rawHost(link);
    return host == QLatin1String("open") || (host == QLatin1String("import") && parseImportQuery(link));
}

bool isSwitchLink(const QString& link) {
    return rawScheme(link) == kDeepLinkScheme && rawHost(link) == QLatin1String("switch");
}

// Starts `pierline run` on its own and hands it the whole call once it listens.
int openInStartedApp(const QStringList& links) {
    if (!graphicalDisplayReachable()) {
        err(kNeedsDisplay);
        return kExitFailed;
    }
    QProcess app;
    app.setProgram(QCoreApplication::applicationFilePath());
    app.setArguments({QStringLiteral("run")});
    app.setStandardInputFile(QProcess::nullDevice());
    app.setStandardOutputFile(QProcess::nullDevice());
    app.setStandardErrorFile(QProcess::nullDevice());
    if (!app.startDetached()) {
        err(QStringLiteral("Cannot start Pierline to open the link: %1").arg(app.errorString()));
        return kExitFailed;
    }
    QDeadlineTimer deadline(kAppStartLimitMs);
    while (!RunningApp::find()) {
        if (deadline.hasExpired()) {
            err(QStringLiteral("Pierline did not start in %1 s; the link was not opened").arg(kAppStartLimitMs / 1000));
            return kExitFailed;
        }
        QThread::msleep(20);
    }
    if (const auto code = handOverToRunningApp(QStringList{QStringLiteral("open")} + links, Route::App))
        return *code;
    err(QStringLiteral("Pierline quit before it took the link"));
    return kExitFailed;
}

// Without the app: each switch link applies here and is waited for before the next one is read,
// so the guard between switches holds within the call.
int openHere(const QStringList& links) {
    if (std::any_of(links.begin(), links.end(), isSwitchLink) && !openPresetManager())
        return kExitFailed;
    DeepLinkHandler handler({{}, {}, {}, [] { return true; }});
    int code = kExitOk;
    handler.openUrls(links, [&](const DeepLinkOutcome& outcome) {
        if (outcome.rejected())
            code = kExitFailed;
        else if (outcome.apply &&
                 waitForApply(*outcome.apply, QLatin1Char('\'') + outcome.presetName + QLatin1Char('\'')) != kExitOk)
            code = kExitFailed;
    });
    return code;
}

} // namespace

int runOpenCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Opens pierline:// links as the desktop hands them to Pierline: switch?id=UUID, switch?name=NAME, "
        "import?url=URL, open. The running app takes them; without it a switch applies here and waits."));
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("One or more links, handled in order."));
    if (auto exit = parse(parser, QStringLiteral("open"), kUsage, args))
        return *exit;
    const QStringList links = parser.positionalArguments();
    if (links.isEmpty())
        return usageError(QStringLiteral("Expected at least one URL"), kUsage);
    if (LinkService* service = LinkService::current()) {
        const QList<DeepLinkOutcome> outcomes = service->open(links);
        const bool anyRejected =
            std::any_of(outcomes.begin(), outcomes.end(), [](const DeepLinkOutcome& o) { return o.rejected(); });
        return anyRejected ? kExitFailed : kExitOk;
    }
    if (!requireHome())
        return kExitFailed;
    if (std::any_of(links.begin(), links.end(), needsWindow))
        return openInStartedApp(links);
    return openHere(links);
}

} // namespace pierline::cli
