#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/UserDefaults.h"
#include "themes/ThemeAppearance.h"
#include "themes/ThemeManager.h"

#include <QJsonArray>
#include <QJsonObject>
#include <memory>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("theme list [--json] | current [--json] | switch ID | check FILE");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

// The current theme is the one with its id; the built-in theme stands for a file of the same id.
bool isCurrent(const ThemeDefinition& theme, const ThemeDefinition& current) {
    return theme.id == current.id && (current.file.isEmpty() || theme.file == current.file);
}

// The running app's manager, rescanned so a file added meanwhile is seen; else one made on the
// home here, which copies and refreshes the bundled themes as the app's start does.
ThemeManager& themeManager(std::unique_ptr<ThemeManager>& own) {
    if (ThemeManager* shared = ThemeManager::shared()) {
        shared->loadThemes();
        return *shared;
    }
    own = std::make_unique<ThemeManager>(UserDefaults::standard());
    return *own;
}

int list(bool json) {
    std::unique_ptr<ThemeManager> own;
    const ThemeManager& manager = themeManager(own);
    const ThemeDefinition& current = manager.currentTheme();
    if (json) {
        QJsonArray answer;
        for (const ThemeDefinition& theme : manager.availableThemes()) {
            QJsonObject entry{{QStringLiteral("id"), theme.id},
                              {QStringLiteral("name"), theme.name},
                              {QStringLiteral("version"), theme.version},
                              {QStringLiteral("current"), isCurrent(theme, current)}};
            if (!theme.file.isEmpty())
                entry.insert(QStringLiteral("file"), theme.file);
            answer.append(entry);
        }
        outJson(answer);
        return kExitOk;
    }
    for (const ThemeDefinition& theme : manager.availableThemes()) {
        out(QStringLiteral("%1 %2  %3  %4  %5")
                .arg(isCurrent(theme, current) ? QStringLiteral("*") : QStringLiteral(" "), theme.id, theme.name,
                     theme.version, theme.file.isEmpty() ? QStringLiteral("(built in)") : theme.file));
    }
    return kExitOk;
}

int current(bool json) {
    std::unique_ptr<ThemeManager> own;
    const ThemeDefinition& theme = themeManager(own).currentTheme();
    const QString appearance = appearanceName(currentAppearance());
    if (json) {
        QJsonObject answer = theme.toJson();
        answer.insert(QStringLiteral("appearance"), appearance);
        outJson(answer);
        return kExitOk;
    }
    out(QStringLiteral("%1  %2  %3").arg(theme.id, theme.name, appearance));
    return kExitOk;
}

int switchTo(const QString& id) {
    std::unique_ptr<ThemeManager> own;
    ThemeManager& manager = themeManager(own);
    if (const auto failure = manager.switchTheme(id)) {
        err(*failure);
        return kExitFailed;
    }
    out(QStringLiteral("Theme: %1 (%2)").arg(manager.currentTheme().name, id));
    return kExitOk;
}

int check(const QString& file) {
    const auto result = loadThemeFile(file);
    if (const auto* failure = std::get_if<ThemeLoadFailure>(&result)) {
        err(failure->description);
        if (failure->decodingDetails)
            err(QStringLiteral("Decoding error details: %1").arg(*failure->decodingDetails));
        return kExitFailed;
    }
    out(QStringLiteral("ok"));
    return kExitOk;
}

QString descriptionOf(const QString& sub) {
    if (sub == QLatin1String("list"))
        return QStringLiteral("Lists the themes of the themes folder; \"*\" marks the current one.");
    if (sub == QLatin1String("current"))
        return QStringLiteral("Shows the current theme and the appearance its colours are picked for.");
    if (sub == QLatin1String("switch"))
        return QStringLiteral("Makes the theme ID current and remembers the choice.");
    return QStringLiteral("Loads FILE as the themes folder's files are loaded: \"ok\", or why it is refused.");
}

} // namespace

int runThemeCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: list, current, switch or check"));
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Lists, shows, switches and checks the windows' colour themes. "
                                          "Run `pierline theme list --help` for a subcommand's options."));
        return kExitOk;
    }
    const QString sub = args.first();
    const QStringList subs = {QStringLiteral("list"), QStringLiteral("current"), QStringLiteral("switch"),
                              QStringLiteral("check")};
    if (!subs.contains(sub))
        return usage(QStringLiteral("Unknown theme subcommand: %1").arg(sub));
    const bool takesJson = sub == QLatin1String("list") || sub == QLatin1String("current");

    QCommandLineParser parser;
    parser.setApplicationDescription(descriptionOf(sub));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the answer as JSON."));
    if (takesJson)
        parser.addOption(json);
    if (sub == QLatin1String("switch"))
        parser.addPositionalArgument(QStringLiteral("ID"), QStringLiteral("The theme's id, as `theme list` shows it."));
    if (sub == QLatin1String("check"))
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A theme file."));
    if (auto exit = parse(parser, QStringLiteral("theme ") + sub, kUsage, args.mid(1)))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (takesJson && !positional.isEmpty())
        return usage(QStringLiteral("Unexpected argument: %1").arg(positional.first()));
    if (!takesJson && positional.size() != 1)
        return usage(sub == QLatin1String("switch") ? QStringLiteral("Expected ID") : QStringLiteral("Expected FILE"));

    if (sub == QLatin1String("check"))
        return check(positional.first());
    if (!requireHome())
        return kExitFailed;
    if (sub == QLatin1String("list"))
        return list(parser.isSet(json));
    if (sub == QLatin1String("current"))
        return current(parser.isSet(json));
    return switchTo(positional.first());
}

} // namespace pierline::cli
