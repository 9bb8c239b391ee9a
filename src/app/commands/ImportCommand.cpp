#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "core/QuayshareImportClient.h"
#include "exchange/ImportWizard.h"

#include <QJsonArray>

namespace pierline::cli {
namespace {

QJsonObject appJson(const ImportAppItem& app) {
    QJsonObject o{{"id", app.id.toString(QUuid::WithoutBraces).toUpper()},
                  {"originalURL", app.originalURL},
                  {"displayName", app.displayName},
                  {"filePath", app.filePath},
                  {"isSelected", app.isSelected},
                  {"existsOnSystem", app.existsOnSystem},
                  {"isSafariWebApp", app.isSafariWebApp},
                  {"isSpacer", app.isSpacer},
                  {"status", app.status()}};
    if (app.safariWebAppMetadata)
        o.insert(QStringLiteral("safariWebAppMetadata"), app.safariWebAppMetadata->toJson());
    if (app.spacerType)
        o.insert(QStringLiteral("spacerType"),
                 *app.spacerType == SpacerType::Small ? QStringLiteral("small") : QStringLiteral("regular"));
    if (const auto page = app.getAppURL())
        o.insert(QStringLiteral("getAppURL"), *page);
    return o;
}

QJsonObject presetJson(const ImportPresetItem& preset) {
    QJsonArray apps;
    for (const ImportAppItem& app : preset.apps)
        apps.append(appJson(app));
    QJsonArray stacks;
    for (const ImportFolderStackItem& item : preset.folderStacks)
        stacks.append(QJsonObject{{"id", item.id.toString(QUuid::WithoutBraces).toUpper()},
                                  {"originalStack", item.originalStack.toJson()},
                                  {"isSelected", item.isSelected},
                                  {"existsOnSystem", item.existsOnSystem}});
    return {{"id", preset.id.toString(QUuid::WithoutBraces).toUpper()},
            {"originalDTO", preset.originalDTO.toJson()},
            {"isSelected", preset.isSelected},
            {"importName", preset.importName},
            {"apps", apps},
            {"folderStacks", stacks},
            {"missingCount", preset.missingCount()},
            {"needsSetupCount", preset.needsSetupCount()}};
}

QString onOff(bool on) {
    return on ? QStringLiteral("on ") : QStringLiteral("off");
}

void printPreview(const QList<ImportPresetItem>& presets) {
    for (qsizetype k = 0; k < presets.size(); ++k) {
        const ImportPresetItem& p = presets[k];
        out(QStringLiteral("%1 %2 %3  (%4 apps, %5 items; %6 missing, %7 need setup)")
                .arg(k)
                .arg(onOff(p.isSelected), p.importName)
                .arg(p.apps.size())
                .arg(p.folderStacks.size())
                .arg(p.missingCount())
                .arg(p.needsSetupCount()));
        for (qsizetype j = 0; j < p.apps.size(); ++j) {
            const ImportAppItem& a = p.apps[j];
            QString line =
                QStringLiteral("  app %1 %2 %3  %4").arg(j).arg(onOff(a.isSelected), a.displayName, a.status());
            if (const auto page = a.getAppURL())
                line += QStringLiteral("  %1: %2").arg(ImportWizard::kGetAppNow, *page);
            out(line);
        }
        for (qsizetype j = 0; j < p.folderStacks.size(); ++j) {
            const ImportFolderStackItem& i = p.folderStacks[j];
            out(QStringLiteral("  item %1 %2 %3 %4  %5")
                    .arg(j)
                    .arg(onOff(i.isSelected), i.originalStack.itemType,
                         i.originalStack.path.isEmpty() ? i.originalStack.url : i.originalStack.path,
                         i.existsOnSystem ? QStringLiteral("present") : QStringLiteral("missing")));
        }
    }
}

struct Choice {
    qsizetype preset = -1;
    qsizetype entry = -1;
    bool on = false;
};

// "K:J=on|off"
std::optional<Choice> parseChoice(const QString& text) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (colon <= 0 || equals <= colon + 1)
        return std::nullopt;
    const auto k = parsePosition(text.left(colon));
    const auto j = parsePosition(text.mid(colon + 1, equals - colon - 1));
    const QString state = text.mid(equals + 1);
    if (!k || !j || (state != QLatin1String("on") && state != QLatin1String("off")))
        return std::nullopt;
    return Choice{*k, *j, state == QLatin1String("on")};
}

} // namespace

int runImportCommand(const QStringList& args) {
    const QString usage = QStringLiteral(
        "import FILE|URL [--preview] [--refresh] [--json] [--only K,...] [--name K=NEW]... [--app K:J=on|off]... "
        "[--item K:J=on|off]...");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Adds the presets of a backup file or share link to the library; existing presets are not "
                       "removed. K and J count presets and their entries from 0. --preview shows what would be "
                       "imported and what is missing here, and stores nothing."));
    const QCommandLineOption preview(QStringLiteral("preview"), QStringLiteral("Show the presets; store nothing."));
    const QCommandLineOption refresh(QStringLiteral("refresh"), QStringLiteral("Check missing items again."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the preview as JSON."));
    const QCommandLineOption only(QStringLiteral("only"), QStringLiteral("Import only these presets."),
                                  QStringLiteral("K,..."));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("Import preset K as NEW."),
                                  QStringLiteral("K=NEW"));
    const QCommandLineOption app(QStringLiteral("app"), QStringLiteral("Choose app J of preset K."),
                                 QStringLiteral("K:J=on|off"));
    const QCommandLineOption item(QStringLiteral("item"), QStringLiteral("Choose item J of preset K."),
                                  QStringLiteral("K:J=on|off"));
    parser.addOptions({preview, refresh, json, only, name, app, item});
    parser.addPositionalArgument(QStringLiteral("FILE|URL"), QStringLiteral("A backup file or an http(s) link."));
    if (auto exit = parse(parser, QStringLiteral("import"), usage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(positional.isEmpty() ? QStringLiteral("Missing FILE or URL")
                                               : QStringLiteral("Unexpected argument: %1").arg(positional.at(1)),
                          usage);
    if (parser.isSet(json) && !parser.isSet(preview))
        return usageError(QStringLiteral("--json goes with --preview"), usage);
    const QString source = positional.first();

    ImportWizard wizard;
    const bool isLink = source.startsWith(QLatin1String("http://")) || source.startsWith(QLatin1String("https://"));
    const bool loaded =
        isLink ? wizard.downloadAndLoad(QUrl(source), QuayshareImportClient()) : wizard.loadPresets(source);
    if (!loaded) {
        err(wizard.errorMessage);
        return kExitFailed;
    }
    QList<ImportPresetItem>& presets = wizard.importPresets;
    const auto badChoice = [&](const QString& text) {
        return usageError(QStringLiteral("No such preset or entry: %1").arg(text), usage);
    };
    if (parser.isSet(only)) {
        for (ImportPresetItem& p : presets)
            p.isSelected = false;
        for (const QString& text : parser.value(only).split(QLatin1Char(','))) {
            const auto k = parsePosition(text.trimmed());
            if (!k || *k >= presets.size())
                return badChoice(text);
            presets[*k].isSelected = true;
        }
    }
    for (const QString& text : parser.values(name)) {
        const qsizetype equals = text.indexOf(QLatin1Char('='));
        const auto k = equals > 0 ? parsePosition(text.left(equals)) : std::nullopt;
        if (!k || *k >= presets.size())
            return badChoice(text);
        presets[*k].importName = text.mid(equals + 1);
    }
    if (parser.isSet(refresh)) {
        for (ImportPresetItem& p : presets)
            wizard.refreshMissingItems(p);
    }
    for (const QString& text : parser.values(app)) {
        const auto choice = parseChoice(text);
        if (!choice || choice->preset >= presets.size() || choice->entry >= presets[choice->preset].apps.size())
            return badChoice(text);
        presets[choice->preset].apps[choice->entry].isSelected = choice->on;
    }
    for (const QString& text : parser.values(item)) {
        const auto choice = parseChoice(text);
        if (!choice || choice->preset >= presets.size() || choice->entry >= presets[choice->preset].folderStacks.size())
            return badChoice(text);
        presets[choice->preset].folderStacks[choice->entry].isSelected = choice->on;
    }

    if (parser.isSet(preview)) {
        if (parser.isSet(json)) {
            QJsonArray list;
            for (const ImportPresetItem& p : presets)
                list.append(presetJson(p));
            outJson(list);
        } else {
            printPreview(presets);
        }
        return kExitOk;
    }

    qsizetype chosen = 0, apps = 0, items = 0;
    for (const ImportPresetItem& p : presets) {
        if (!p.isSelected)
            continue;
        ++chosen;
        apps += std::count_if(p.apps.begin(), p.apps.end(), [](const ImportAppItem& a) { return a.isSelected; });
        items += std::count_if(p.folderStacks.begin(), p.folderStacks.end(),
                               [](const ImportFolderStackItem& i) { return i.isSelected; });
    }
    out(ImportWizard::kPresetsToImport + QStringLiteral(" %1").arg(chosen));
    out(ImportWizard::kTotalApps + QStringLiteral(" %1").arg(apps));
    out(ImportWizard::kTotalItems + QStringLiteral(" %1").arg(items));
    if (!requireHome())
        return kExitFailed;
    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return kExitFailed;
    if (!wizard.importSelectedPresets(*manager)) {
        err(wizard.errorMessage);
        return kExitFailed;
    }
    out(ImportWizard::kSuccessMessage);
    return kExitOk;
}

} // namespace pierline::cli
