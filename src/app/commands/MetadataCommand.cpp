#include "Commands.h"

#include "app/Cli.h"
#include "exchange/SafariWebAppService.h"

namespace pierline::cli {

int runMetadataCommand(const QStringList& args) {
    const QString usage = QStringLiteral("metadata APP_URL... [--json]");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Describes apps as a backup records them: name, kind (safari or regular), start URL, icon URL "
                       "and bundle identifier. Spacers and apps that are not there are left out."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the map from app URL to record."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("APP_URL"), QStringLiteral("An app entry of a preset."));
    if (auto exit = parse(parser, QStringLiteral("metadata"), usage, args))
        return *exit;
    const QStringList apps = parser.positionalArguments();
    if (apps.isEmpty()) {
        err(QStringLiteral("Missing APP_URL"));
        err(QStringLiteral("Usage: pierline %1").arg(usage));
        return kExitUsage;
    }
    if (!requireHome())
        return kExitFailed;

    SafariWebAppService service;
    const AppMetadataMap map = service.extractMetadata(apps);
    if (parser.isSet(json)) {
        outJson(appMetadataJson(map));
        return kExitOk;
    }
    for (auto it = map.begin(); it != map.end(); ++it) {
        const SafariWebAppMetadata& m = it.value();
        QStringList parts{it.key(), m.appName,
                          m.appType == SafariWebAppMetadata::AppType::Safari ? QStringLiteral("safari")
                                                                             : QStringLiteral("regular")};
        if (m.bundleIdentifier)
            parts.append(QStringLiteral("id=%1").arg(*m.bundleIdentifier));
        if (m.appUrl)
            parts.append(QStringLiteral("url=%1").arg(*m.appUrl));
        if (m.appIcon)
            parts.append(QStringLiteral("icon=%1").arg(*m.appIcon));
        out(parts.join(QStringLiteral("  ")));
    }
    return kExitOk;
}

} // namespace pierline::cli
