#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "triggers/CombinationText.h"
#include "triggers/KeyCombination.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("key describe COMBO | --code N --flags N [--json]");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

std::optional<quint64> number(const QString& text, quint64 max) {
    bool ok = false;
    const quint64 value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16)
                                                                                     : text.toULongLong(&ok, 10);
    if (!ok || value > max)
        return std::nullopt;
    return value;
}

int runDescribe(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Describes a combination: COMBO is mod+...+KEY (cmd, opt, ctrl, shift; KEY a key name or code:N), or "
        "a Carbon key code with Cocoa modifier flags."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    const QCommandLineOption code(QStringLiteral("code"), QStringLiteral("Carbon key code."), QStringLiteral("N"));
    const QCommandLineOption flags(QStringLiteral("flags"), QStringLiteral("Cocoa modifier flags."), QStringLiteral("N"));
    parser.addOptions({json, code, flags});
    parser.addPositionalArgument(QStringLiteral("COMBO"), QStringLiteral("The combination."), QStringLiteral("[COMBO]"));
    if (auto exit = parse(parser, QStringLiteral("key describe"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    KeyCombination combination;
    if (parser.isSet(code) || parser.isSet(flags)) {
        if (!positional.isEmpty() || !parser.isSet(code) || !parser.isSet(flags))
            return usage(QStringLiteral("Give either COMBO or both --code N and --flags N"));
        const auto keyCode = number(parser.value(code), std::numeric_limits<quint32>::max());
        const auto modifierFlags = number(parser.value(flags), std::numeric_limits<quint64>::max());
        if (!keyCode)
            return usage(QStringLiteral("--code takes a number from 0 to 4294967295: %1").arg(parser.value(code)));
        if (!modifierFlags)
            return usage(QStringLiteral("--flags takes a non-negative number: %1").arg(parser.value(flags)));
        combination = {static_cast<quint32>(*keyCode), *modifierFlags};
    } else {
        if (positional.size() != 1)
            return usage(QStringLiteral("Expected COMBO, or --code N --flags N"));
        const CombinationParseResult parsed = parseCombinationText(positional[0]);
        if (!parsed.combination)
            return usage(parsed.error);
        combination = *parsed.combination;
    }

    const std::optional<KeyCombo> combo = combination.keyCombo();
    const quint32 carbonModifiers = carbonModifiersFromCocoaFlags(combination.modifierRawValue);
    if (parser.isSet(json)) {
        QJsonObject answer{{QStringLiteral("carbonKeyCode"), qint64(combination.carbonKeyCode)},
                           {QStringLiteral("modifierRawValue"), qint64(combination.modifierRawValue)},
                           {QStringLiteral("displayString"), combination.displayString()},
                           {QStringLiteral("isModifierOnly"), combination.isModifierOnly()},
                           {QStringLiteral("carbonModifiers"), qint64(carbonModifiers)}};
        if (combo)
            answer.insert(QStringLiteral("comboDescription"), combo->description());
        outRaw(QJsonDocument(answer).toJson(QJsonDocument::Indented));
        return kExitOk;
    }
    out(QStringLiteral("display: %1").arg(combination.displayString()));
    out(QStringLiteral("combination: %1").arg(combinationText(combination)));
    out(QStringLiteral("carbon key code: %1").arg(combination.carbonKeyCode));
    out(QStringLiteral("modifier flags: 0x%1").arg(combination.modifierRawValue, 0, 16));
    out(QStringLiteral("carbon modifiers: 0x%1").arg(carbonModifiers, 0, 16));
    out(QStringLiteral("modifier only: %1").arg(combination.isModifierOnly() ? "yes" : "no"));
    out(combo ? QStringLiteral("registered as: %1").arg(combo->description())
              : QStringLiteral("registered as: (cannot be registered: the code names no key)"));
    return kExitOk;
}

} // namespace

int runKeyCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: describe"));
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Describes key combinations as Pierline stores and shows them."));
        return kExitOk;
    }
    if (args.first() == QLatin1String("describe"))
        return runDescribe(args.mid(1));
    return usage(QStringLiteral("Unknown key subcommand: %1").arg(args.first()));
}

} // namespace pierline::cli
