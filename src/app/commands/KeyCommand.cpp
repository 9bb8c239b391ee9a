#include "CombinationFields.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/KeyboardRecorder.h"
#include "triggers/CombinationText.h"
#include "triggers/KeyCombination.h"
#include "triggers/KeyRecorder.h"

#include <QEventLoop>
#include <QJsonObject>
#include <limits>

namespace pierline::cli {
namespace {

const QString kUsage =
    QStringLiteral("key describe COMBO | --code N --flags N [--json] | key record [--allow-modifier-only] [--json]");

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

// What describe and record print for a combination.
int printCombination(const KeyCombination& combination, bool json) {
    const std::optional<KeyCombo> combo = combination.keyCombo();
    const quint32 carbonModifiers = carbonModifiersFromCocoaFlags(combination.modifierRawValue);
    if (json) {
        const QJsonObject answer = combinationFields(combination);
        outJson(answer);
        return kExitOk;
    }
    out(QStringLiteral("display string: %1").arg(combination.displayString()));
    out(QStringLiteral("combination: %1").arg(combinationText(combination)));
    out(QStringLiteral("carbon key code: %1").arg(combination.carbonKeyCode));
    out(QStringLiteral("modifier flags: 0x%1").arg(combination.modifierRawValue, 0, 16));
    out(QStringLiteral("carbon modifiers: 0x%1").arg(carbonModifiers, 0, 16));
    out(QStringLiteral("modifier only: %1").arg(combination.isModifierOnly() ? "yes" : "no"));
    // The hotkey's own description orders the symbols as Carbon does (control, option, shift, command).
    out(combo ? QStringLiteral("hotkey description: %1").arg(combo->description())
              : QStringLiteral("hotkey description: (cannot be registered: the code names no key)"));
    return kExitOk;
}

int runDescribe(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Describes a combination, given as COMBO or as the two numbers Pierline stores. ") + kComboHelp);
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    const QCommandLineOption code(QStringLiteral("code"),
                                  QStringLiteral("Carbon key code: the number macOS gives a key (0 is A, 18 is 1)."),
                                  QStringLiteral("N"));
    const QCommandLineOption flags(QStringLiteral("flags"),
                                   QStringLiteral("Cocoa modifier flags: the macOS bit mask of the modifiers, "
                                                  "cmd 0x100000, opt 0x80000, ctrl 0x40000, shift 0x20000."),
                                   QStringLiteral("N"));
    parser.addOptions({json, code, flags});
    parser.addPositionalArgument(QStringLiteral("COMBO"), QStringLiteral("The combination."),
                                 QStringLiteral("[COMBO]"));
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

    return printCombination(combination, parser.isSet(json));
}

int runRecord(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Takes the keyboard until a combination is pressed and describes it; Escape cancels."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    const QCommandLineOption modifierOnly(QStringLiteral("allow-modifier-only"),
                                          QStringLiteral("A bare modifier tap (Option alone) counts."));
    parser.addOptions({json, modifierOnly});
    if (auto exit = parse(parser, QStringLiteral("key record"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("key record takes no arguments"));

    KeyRecorder rules(parser.isSet(modifierOnly));
    const std::unique_ptr<KeyboardRecorder> keyboard = createKeyboardRecorder();
    QEventLoop loop;
    KeyRecorder::Outcome outcome = KeyRecorder::Outcome::Ignored;
    QString error;
    const bool started = keyboard->start(
        [&](const RecordedKeyEvent& event) {
            outcome = event.kind == RecordedKeyEvent::Kind::KeyDown
                          ? rules.keyDown(event.carbonKeyCode, event.modifierFlags)
                          : rules.flagsChanged(event.modifierFlags, event.carbonKeyCode, event.seconds);
            if (outcome == KeyRecorder::Outcome::Ignored)
                return;
            keyboard->stop();
            loop.quit();
        },
        error);
    if (!started) {
        err(QStringLiteral("Cannot record a key combination: %1").arg(error));
        return kExitFailed;
    }
    // Callers wait for this line before they type.
    err(rules.allowsModifierOnly() ? QStringLiteral("Press a combination. %1. %2.")
                                         .arg(KeyRecorder::kModifierOnlyHint, KeyRecorder::kCancelHint)
                                   : QStringLiteral("Press a combination. %1.").arg(KeyRecorder::kCancelHint));
    loop.exec();
    if (outcome != KeyRecorder::Outcome::Recorded || !rules.combination()) {
        err(QStringLiteral("Recording cancelled"));
        return kExitFailed;
    }
    return printCombination(*rules.combination(), parser.isSet(json));
}

} // namespace

int runKeyCommand(const QStringList& args) {
    if (args.isEmpty())
        return usage(QStringLiteral("Missing subcommand: describe or record"));
    if (isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Describes key combinations as Pierline stores and shows them."));
        return kExitOk;
    }
    if (args.first() == QLatin1String("describe"))
        return runDescribe(args.mid(1));
    if (args.first() == QLatin1String("record"))
        return runRecord(args.mid(1));
    return usage(QStringLiteral("Unknown key subcommand: %1").arg(args.first()));
}

} // namespace pierline::cli
