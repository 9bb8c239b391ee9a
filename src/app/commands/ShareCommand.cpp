#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "exchange/BackupExport.h"
#include "exchange/PresetUpload.h"
#include "exchange/SafariWebAppService.h"
#include "platform/Log.h"
#include "targets/DockTarget.h"
#include "themes/IconExtractionService.h"

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("share upload NAME");

int upload(const QString& name) {
    const PresetLookup lookup = openPreset(name);
    if (!lookup.preset)
        return kExitFailed;
    const DockPreset& preset = *lookup.preset;
    SafariWebAppService service;
    const AppMetadataMap gathered = service.extractMetadata(ExportDocument::forPresets({lookup.preset}).selectedApps());
    QStringList webApps;
    for (const SafariWebAppMetadata& app : gathered) {
        if (app.appType == SafariWebAppMetadata::AppType::Safari)
            webApps.append(app.appName);
    }
    if (!webApps.isEmpty())
        out(QStringLiteral("Included Safari web apps: %1").arg(webApps.join(QStringLiteral(", "))));

    // A native dock's apps are desktop files, and their icons are wanted too.
    const bool desktopFiles = currentDockTarget()->appKind() == DockAppKind::DesktopFile;
    PierlineAPIClient client([desktopFiles](const std::optional<QString>& apps) {
        return IconExtractionService(desktopFiles).extractIcons(apps);
    });
    client.uploadPreset(preset, gathered.isEmpty() ? std::nullopt : std::optional<AppMetadataMap>(gathered));
    const bool accepted = !client.uploadError() && client.uploadResult() && client.uploadResult()->success;
    if (!accepted) {
        err(QStringLiteral("Upload Failed"));
        err(client.resultText());
        return kExitFailed;
    }
    out(client.resultText());
    if (const auto& link = client.uploadResult()->tempLoginUrl)
        out(QStringLiteral("Open %1: %2").arg(PierlineAPIClient::kServiceName, *link));
    // The preset is published; its icons are extras, so their failure is only a warning.
    if (const auto& icons = client.iconUpload()) {
        const PierlineAPIClient::IconUploadOutcome outcome = icons->result();
        if (outcome.uploaded)
            out(outcome.line);
        else
            printWarning(outcome.line);
    }
    return kExitOk;
}

} // namespace

int runShareCommand(const QStringList& args) {
    if (args.isEmpty())
        return usageError(QStringLiteral("Missing subcommand: upload"), kUsage);
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Publishes a preset on Quayshare. Run `pierline share upload --help` for "
                                          "the arguments. To write the shared file instead: "
                                          "`pierline export FILE --single NAME`."));
        return kExitOk;
    }
    if (args.first() != QLatin1String("upload"))
        return usageError(QStringLiteral("Unknown share subcommand: %1").arg(args.first()), kUsage);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Uploads the preset NAME to Quayshare with home-folder paths made neutral and the metadata of "
                       "its web apps, prints the link to your dashboard, then uploads the icons of its apps. "
                       "PIERLINE_QUAYSHARE_URL names another endpoint."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    if (auto exit = parse(parser, QStringLiteral("share upload"), kUsage, args.mid(1)))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(positional.isEmpty() ? QStringLiteral("Missing NAME")
                                               : QStringLiteral("Unexpected argument: %1").arg(positional.at(1)),
                          kUsage);
    if (!requireHome())
        return kExitFailed;
    return upload(positional.first());
}

} // namespace pierline::cli
