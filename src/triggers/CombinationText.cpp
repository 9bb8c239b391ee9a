#include "triggers/CombinationText.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <limits>

namespace pierline {
namespace {

struct ModifierName {
    const char* name;
    quint64 flag;
    Key key; // the modifier's own key, when it stands last as the key
};

// The names written back come first; the others are how Linux keyboards and other programs name them.
constexpr std::array<ModifierName, 4> kModifiers{{
    {"cmd", kCocoaCommandFlag, Key::command},
    {"opt", kCocoaOptionFlag, Key::option},
    {"ctrl", kCocoaControlFlag, Key::control},
    {"shift", kCocoaShiftFlag, Key::shift},
}};
constexpr std::array<ModifierName, 5> kModifierAliases{{
    {"super", kCocoaCommandFlag, Key::command},
    {"meta", kCocoaCommandFlag, Key::command},
    {"alt", kCocoaOptionFlag, Key::option},
    {"option", kCocoaOptionFlag, Key::option},
    {"control", kCocoaControlFlag, Key::control},
}};

const ModifierName* modifierNamed(QStringView part) {
    for (const ModifierName& m : kModifiers) {
        if (part.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return &m;
    }
    for (const ModifierName& m : kModifierAliases) {
        if (part.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return &m;
    }
    return nullptr;
}

std::optional<quint64> modifierFlag(QStringView part) {
    if (const ModifierName* modifier = modifierNamed(part))
        return modifier->flag;
    return std::nullopt;
}

// "1" is the key `one`: digits as people type them.
std::optional<Key> digitKey(QStringView part) {
    static constexpr std::array<const char*, 10> kDigitNames{"zero", "one", "two",   "three", "four",
                                                             "five", "six", "seven", "eight", "nine"};
    if (part.size() != 1 || !part.front().isDigit() || part.front().digitValue() < 0)
        return std::nullopt;
    return keyForCaseName(QString::fromLatin1(kDigitNames[static_cast<size_t>(part.front().digitValue())]));
}

CombinationParseResult failure(const QString& error) {
    return {std::nullopt, error};
}

} // namespace

CombinationParseResult parseCombinationText(QStringView text) {
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return failure(QStringLiteral("the key combination is empty"));
    const QList<QStringView> parts = trimmed.split(u'+');
    quint64 flags = 0;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QStringView part = parts[i].trimmed();
        if (part.isEmpty())
            return failure(QStringLiteral("\"%1\" has an empty part").arg(trimmed));
        const auto flag = modifierFlag(part);
        if (!flag)
            return failure(
                QStringLiteral("unknown modifier \"%1\" (use cmd, opt, ctrl or shift; super and meta are cmd, "
                               "alt is opt)")
                    .arg(part));
        if (flags & *flag)
            return failure(QStringLiteral("the modifier \"%1\" appears twice").arg(part));
        flags |= *flag;
    }

    const QStringView keyPart = parts.last().trimmed();
    if (keyPart.isEmpty())
        return failure(QStringLiteral("\"%1\" ends without a key").arg(trimmed));
    if (keyPart.startsWith(QLatin1String("code:"), Qt::CaseInsensitive)) {
        const QStringView digits = keyPart.mid(5);
        bool ok = false;
        const qulonglong code = digits.toULongLong(&ok);
        // toULongLong accepts a sign and blanks; a key code is plain digits.
        const bool plainDigits =
            !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); });
        if (!ok || !plainDigits || code > std::numeric_limits<quint32>::max())
            return failure(QStringLiteral("\"%1\" is not a key code from 0 to %2")
                               .arg(digits)
                               .arg(std::numeric_limits<quint32>::max()));
        return {KeyCombination{static_cast<quint32>(code), flags}, {}};
    }
    if (const auto key = keyForCaseName(keyPart))
        return {KeyCombination{carbonKeyCode(*key), flags}, {}};
    if (const auto key = digitKey(keyPart))
        return {KeyCombination{carbonKeyCode(*key), flags}, {}};
    if (const ModifierName* modifier = modifierNamed(keyPart))
        return {KeyCombination{carbonKeyCode(modifier->key), flags}, {}};
    return failure(QStringLiteral("unknown key \"%1\"").arg(keyPart));
}

QString combinationText(const KeyCombination& combination) {
    QStringList parts;
    for (const ModifierName& m : kModifiers)
        if (combination.modifierRawValue & m.flag)
            parts.append(QLatin1String(m.name));
    if (const auto key = keyForCarbonKeyCode(combination.carbonKeyCode))
        parts.append(keyCaseName(*key));
    else
        parts.append(QStringLiteral("code:%1").arg(combination.carbonKeyCode));
    return parts.join(u'+');
}

} // namespace pierline
