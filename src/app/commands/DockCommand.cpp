#include "Commands.h"

#include "app/Cli.h"
#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "targets/DockTarget.h"

#include <QJsonArray>
#include <QJsonObject>

namespace pierline::cli {

namespace {

QString appKind(const QString& entry) {
    if (isSmallSpacerEntry(entry))
        return QStringLiteral("small-spacer");
    if (isSpacerEntry(entry))
        return QStringLiteral("spacer");
    return QStringLiteral("app");
}

QString itemKind(const DockItem& item) {
    const QString type = item.tileType.value_or(QString());
    if (type == QLatin1String("directory-tile"))
        return QStringLiteral("folder");
    if (type == QLatin1String("file-tile"))
        return QStringLiteral("file");
    if (type == QLatin1String("url-tile"))
        return QStringLiteral("url");
    return type;
}

// kind, location (or the label when there is none), label, and for folders the stack settings.
QString itemLine(const DockItem& item) {
    const DockTileData data = item.tileData.value_or(DockTileData());
    const QString kind = itemKind(item);
    std::optional<QString> location = data.fileData ? data.fileData->CFURLString : std::nullopt;
    if (!location && data.url)
        location = data.url->CFURLString;
    const std::optional<QString> label = data.fileLabel ? data.fileLabel : data.label;

    QStringList parts{kind};
    if (location)
        parts.append(*location);
    if (label)
        parts.append(location ? QStringLiteral("label=%1").arg(*label) : *label);
    if (kind == QLatin1String("folder")) {
        parts.append(QStringLiteral("displayAs=%1 showAs=%2 arrangement=%3")
                         .arg(data.displayAs.value_or(QStringLiteral("folder")),
                              data.showAs.value_or(QStringLiteral("grid")),
                              data.arrangement.value_or(QStringLiteral("name"))));
    }
    return parts.join(QStringLiteral("  "));
}

} // namespace

int runDockCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the apps and right-hand items of the current Dock."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print {\"apps\": [...], \"items\": [...]}."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("dock"), QStringLiteral("dock [--json]"), args))
        return *exit;
    if (!parser.positionalArguments().isEmpty()) {
        err(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first()));
        err(QStringLiteral("Usage: pierline dock [--json]"));
        return kExitUsage;
    }
    if (!requireHome())
        return kExitFailed;

    auto reading = currentDockTarget()->read();
    if (auto* error = std::get_if<DockReadError>(&reading)) {
        err(error->description());
        return kExitFailed;
    }
    const DockReading& dock = std::get<DockReading>(reading);

    if (parser.isSet(json)) {
        QJsonArray items;
        for (const DockItem& item : dock.items)
            items.append(item.toJson());
        QJsonObject answer;
        answer.insert(QStringLiteral("apps"), QJsonArray::fromStringList(dock.apps));
        answer.insert(QStringLiteral("items"), items);
        outJson(answer);
        return kExitOk;
    }
    for (const QString& entry : dock.apps)
        out(appKind(entry) + QStringLiteral("  ") + appDisplayName(entry));
    for (const DockItem& item : dock.items)
        out(itemLine(item));
    return kExitOk;
}

} // namespace pierline::cli
