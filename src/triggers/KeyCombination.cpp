#include "triggers/KeyCombination.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>
#include <limits>

namespace pierline {
namespace {

constexpr const char* kCarbonKeyCodeKey = "carbonKeyCode";
constexpr const char* kModifierRawValueKey = "modifierRawValue";

QString modifierKeySymbol(quint32 code) {
    switch (code) {
    case 54:
    case 55:
        return QStringLiteral("\u2318");
    case 56:
    case 60:
        return QStringLiteral("\u21E7");
    case 58:
    case 61:
        return QStringLiteral("\u2325");
    case 59:
    case 62:
        return QStringLiteral("\u2303");
    default: // 57, caps lock
        return QStringLiteral("\u21EA");
    }
}

// A JSON number that is a whole number in [0, max]; JSON numbers arrive as doubles.
std::optional<quint64> unsignedField(const QJsonObject& object, const char* key, quint64 max, QString* error) {
    const QJsonValue value = object.value(QLatin1String(key));
    auto fail = [&](const QString& why) -> std::optional<quint64> {
        if (error)
            *error = QStringLiteral("\"%1\" %2").arg(QLatin1String(key), why);
        return std::nullopt;
    };
    if (value.isUndefined())
        return fail(QStringLiteral("is missing"));
    if (!value.isDouble())
        return fail(QStringLiteral("is not a number"));
    // Past 2^53 a double no longer holds every integer, so such a value cannot be trusted.
    const quint64 limit = std::min<quint64>(max, quint64(1) << 53);
    const double number = value.toDouble();
    if (number < 0 || number != std::floor(number) || number > double(limit))
        return fail(QStringLiteral("is not a whole number from 0 to %1").arg(limit));
    return static_cast<quint64>(value.toInteger());
}

} // namespace

bool KeyCombination::isModifierOnly() const {
    return carbonKeyCode >= 54 && carbonKeyCode <= 62;
}

QString KeyCombination::displayString() const {
    if (isModifierOnly())
        return modifierKeySymbol(carbonKeyCode);
    QString text;
    if (modifierRawValue & kCocoaCommandFlag)
        text += QChar(0x2318);
    if (modifierRawValue & kCocoaOptionFlag)
        text += QChar(0x2325);
    if (modifierRawValue & kCocoaControlFlag)
        text += QChar(0x2303);
    if (modifierRawValue & kCocoaShiftFlag)
        text += QChar(0x21E7);
    if (const auto key = keyForCarbonKeyCode(carbonKeyCode))
        text += keyDisplayText(*key).toUpper();
    return text;
}

std::optional<KeyCombo> KeyCombination::keyCombo() const {
    const auto key = keyForCarbonKeyCode(carbonKeyCode);
    if (!key)
        return std::nullopt;
    return KeyCombo(*key, modifierRawValue);
}

QJsonObject KeyCombination::toJson() const {
    return QJsonObject{{QLatin1String(kCarbonKeyCodeKey), qint64(carbonKeyCode)},
                       {QLatin1String(kModifierRawValueKey), qint64(modifierRawValue)}};
}

QByteArray KeyCombination::toJsonBytes() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<KeyCombination> KeyCombination::fromJson(const QJsonValue& value, QString* error) {
    if (!value.isObject()) {
        if (error)
            *error = QStringLiteral("a key combination must be an object");
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    const auto code = unsignedField(object, kCarbonKeyCodeKey, std::numeric_limits<quint32>::max(), error);
    if (!code)
        return std::nullopt;
    const auto flags = unsignedField(object, kModifierRawValueKey, std::numeric_limits<quint64>::max(), error);
    if (!flags)
        return std::nullopt;
    return KeyCombination{static_cast<quint32>(*code), *flags};
}

std::optional<KeyCombination> KeyCombination::fromJsonBytes(const QByteArray& bytes, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error)
            *error = parseError.errorString();
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error)
            *error = QStringLiteral("a key combination must be an object");
        return std::nullopt;
    }
    return fromJson(document.object(), error);
}

} // namespace pierline
