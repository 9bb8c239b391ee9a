#include "ThemeDefinition.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace pierline {
namespace {

CodableColor hex(const char* text) {
    return CodableColor::fromHex(QString::fromLatin1(text));
}

CodableColor rgba(double red, double green, double blue, double opacity) {
    return {red, green, blue, opacity};
}

// One channel as the hex text shows it: times 255, truncated toward zero, printed as C prints an
// int with %X (a negative value shows its 32-bit two's complement).
unsigned hexByte(double component) {
    const double scaled = std::trunc(component * 255.0);
    constexpr double low = std::numeric_limits<int>::min();
    constexpr double high = std::numeric_limits<int>::max();
    const int value = std::isnan(scaled) ? 0 : static_cast<int>(std::clamp(scaled, low, high));
    return static_cast<unsigned>(value);
}

// Walks a document in the order the keys are declared and stops at the first fault.
class Decoder {
public:
    explicit Decoder(QString* details) : details_(details) {}

    std::optional<ThemeError> error;

    QJsonValue field(const QJsonObject& object, const QString& path, const char* key) {
        const QString where = path.isEmpty() ? QString::fromLatin1(key) : path + QLatin1Char('.') + key;
        if (error)
            return {};
        const auto it = object.constFind(QLatin1String(key));
        if (it == object.constEnd()) {
            fail(ThemeError(ThemeError::Kind::missingRequiredField, where),
                 QStringLiteral("keyNotFound: no value for the key %1").arg(where));
            return {};
        }
        return *it;
    }

    QString string(const QJsonObject& object, const QString& path, const char* key) {
        const QJsonValue value = field(object, path, key);
        if (error)
            return {};
        if (!value.isString())
            mismatch(path, key, "a string", value);
        return value.toString();
    }

    double number(const QJsonObject& object, const QString& path, const char* key) {
        const QJsonValue value = field(object, path, key);
        if (error)
            return 0;
        if (!value.isDouble())
            mismatch(path, key, "a number", value);
        return value.toDouble();
    }

    QJsonObject object(const QJsonObject& parent, const QString& path, const char* key) {
        const QJsonValue value = field(parent, path, key);
        if (error)
            return {};
        if (!value.isObject())
            mismatch(path, key, "an object", value);
        return value.toObject();
    }

    CodableColor color(const QJsonObject& parent, const QString& path, const char* key) {
        const QJsonObject object = this->object(parent, path, key);
        const QString where = path + QLatin1Char('.') + key;
        CodableColor color;
        color.red = number(object, where, "red");
        color.green = number(object, where, "green");
        color.blue = number(object, where, "blue");
        color.opacity = number(object, where, "opacity");
        return color;
    }

    ThemeColors colors(const QJsonObject& parent, const char* key) {
        const QJsonObject object = this->object(parent, QString(), key);
        ThemeColors colors;
        for (const auto& [name, member] : ThemeColors::fields())
            colors.*member = color(object, QString::fromLatin1(key), name);
        return colors;
    }

    ThemeLayout layout(const QJsonObject& parent) {
        const QJsonObject object = this->object(parent, QString(), "layout");
        ThemeLayout layout;
        for (const auto& [name, member] : ThemeLayout::fields())
            layout.*member = number(object, QStringLiteral("layout"), name);
        return layout;
    }

    void fail(ThemeError thrown, const QString& details) {
        if (error)
            return;
        error = std::move(thrown);
        if (details_)
            *details_ = details;
    }

private:
    static const char* typeName(const QJsonValue& value) {
        switch (value.type()) {
        case QJsonValue::Null:
            return "null";
        case QJsonValue::Bool:
            return "a boolean";
        case QJsonValue::Double:
            return "a number";
        case QJsonValue::String:
            return "a string";
        case QJsonValue::Array:
            return "an array";
        case QJsonValue::Object:
            return "an object";
        case QJsonValue::Undefined:
            break;
        }
        return "nothing";
    }

    void mismatch(const QString& path, const char* key, const char* expected, const QJsonValue& found) {
        const QString where = path.isEmpty() ? QString::fromLatin1(key) : path + QLatin1Char('.') + key;
        const QString what = QStringLiteral("%1 is %2, not %3")
                                 .arg(where, QString::fromLatin1(typeName(found)), QString::fromLatin1(expected));
        fail(ThemeError(ThemeError::Kind::invalidJSON, what), QStringLiteral("typeMismatch: ") + what);
    }

    QString* details_;
};

} // namespace

CodableColor CodableColor::fromHex(const QString& text) {
    static const QRegularExpression edges(QStringLiteral("^[^\\p{L}\\p{N}]+|[^\\p{L}\\p{N}]+$"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    QString digits = text;
    digits.remove(edges);
    bool ok = false;
    quint64 value = digits.toULongLong(&ok, 16);
    if (!ok)
        value = 0;
    const auto byte = [&](int shift) { return static_cast<double>((value >> shift) & 0xFF) / 255.0; };
    if (digits.size() == 6)
        return {byte(16), byte(8), byte(0), 1.0};
    if (digits.size() == 8)
        return {byte(16), byte(8), byte(0), byte(24)};
    return {0, 0, 0, 1.0};
}

QString CodableColor::hexText() const {
    return QString::asprintf("#%02X%02X%02X", hexByte(red), hexByte(green), hexByte(blue));
}

bool CodableColor::inRange() const {
    for (const double component : {red, green, blue, opacity}) {
        if (component < 0 || component > 1)
            return false;
    }
    return true;
}

QJsonObject CodableColor::toJson() const {
    return {{QStringLiteral("red"), red},
            {QStringLiteral("green"), green},
            {QStringLiteral("blue"), blue},
            {QStringLiteral("opacity"), opacity}};
}

const QList<std::pair<const char*, CodableColor ThemeColors::*>>& ThemeColors::fields() {
    static const QList<std::pair<const char*, CodableColor ThemeColors::*>> list = {
        {"primaryColor", &ThemeColors::primaryColor},
        {"secondaryColor", &ThemeColors::secondaryColor},
        {"backgroundColor", &ThemeColors::backgroundColor},
        {"surfaceColor", &ThemeColors::surfaceColor},
        {"textColor", &ThemeColors::textColor},
        {"secondaryTextColor", &ThemeColors::secondaryTextColor},
        {"accentColor", &ThemeColors::accentColor},
        {"destructiveColor", &ThemeColors::destructiveColor},
        {"successColor", &ThemeColors::successColor},
        {"warningColor", &ThemeColors::warningColor},
        {"borderColor", &ThemeColors::borderColor},
        {"dividerColor", &ThemeColors::dividerColor},
        {"shadowColor", &ThemeColors::shadowColor},
    };
    return list;
}

QJsonObject ThemeColors::toJson() const {
    QJsonObject object;
    for (const auto& [name, member] : fields())
        object.insert(QLatin1String(name), (this->*member).toJson());
    return object;
}

const QList<std::pair<const char*, double ThemeLayout::*>>& ThemeLayout::fields() {
    static const QList<std::pair<const char*, double ThemeLayout::*>> list = {
        {"cornerRadius", &ThemeLayout::cornerRadius},
        {"padding", &ThemeLayout::padding},
        {"smallPadding", &ThemeLayout::smallPadding},
        {"largePadding", &ThemeLayout::largePadding},
        {"borderWidth", &ThemeLayout::borderWidth},
        {"shadowRadius", &ThemeLayout::shadowRadius},
        {"animationDuration", &ThemeLayout::animationDuration},
    };
    return list;
}

QJsonObject ThemeLayout::toJson() const {
    QJsonObject object;
    for (const auto& [name, member] : fields())
        object.insert(QLatin1String(name), this->*member);
    return object;
}

QJsonObject ThemeDefinition::toJson() const {
    return {{QStringLiteral("id"), id},
            {QStringLiteral("name"), name},
            {QStringLiteral("author"), author},
            {QStringLiteral("description"), description},
            {QStringLiteral("version"), version},
            {QStringLiteral("light_mode"), lightMode.toJson()},
            {QStringLiteral("dark_mode"), darkMode.toJson()},
            {QStringLiteral("layout"), layout.toJson()}};
}

bool ThemeDefinition::sameContent(const ThemeDefinition& other) const {
    return id == other.id && name == other.name && author == other.author && description == other.description &&
           version == other.version && lightMode == other.lightMode && darkMode == other.darkMode &&
           layout == other.layout;
}

const ThemeDefinition& builtInTheme() {
    static const ThemeDefinition theme = [] {
        ThemeDefinition t;
        t.id = QStringLiteral("pierline-default");
        t.name = QStringLiteral("Pierline Default");
        t.author = QStringLiteral("Pierline Team");
        t.description = QStringLiteral("The default Pierline theme with teal and ocean colors");
        t.version = QStringLiteral("1.1");
        t.lightMode = {hex("#3AAFA9"),     hex("#2B7A78"), hex("#EEF2F1"), rgba(0.98, 0.988, 0.984, 0.92),
                       hex("#121717"),     hex("#566160"), hex("#3AAFA9"), hex("#FF3B30"),
                       hex("#34C759"),     hex("#FF9500"), hex("#D5E0DE"), hex("#D5E0DE"),
                       rgba(0, 0, 0, 0.14)};
        t.darkMode = {hex("#3AAFA9"), hex("#2B7A78"), hex("#17252A"),    hex("#1E2D33"), hex("#FFFFFF"),
                      hex("#AAAAAA"), hex("#3AAFA9"), hex("#FF453A"),    hex("#32D74B"), hex("#FF9F0A"),
                      hex("#333333"), hex("#333333"), rgba(0, 0, 0, 0.3)};
        t.layout = {6, 16, 8, 24, 1, 2, 0.2};
        return t;
    }();
    return theme;
}

QString ThemeError::description() const {
    switch (kind_) {
    case Kind::fileNotFound:
        return QStringLiteral("Theme file not found at: %1").arg(value_);
    case Kind::invalidJSON:
        return QStringLiteral("Invalid theme JSON: %1").arg(value_);
    case Kind::missingRequiredField:
        return QStringLiteral("Theme missing required field: %1").arg(value_);
    case Kind::invalidColorValue:
        return QStringLiteral("Invalid color value: %1").arg(value_);
    }
    return value_;
}

std::variant<ThemeDefinition, ThemeError> decodeTheme(const QByteArray& bytes, QString* details) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    Decoder decoder(details);
    if (parseError.error != QJsonParseError::NoError) {
        const QString what = QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        decoder.fail(ThemeError(ThemeError::Kind::invalidJSON, what), QStringLiteral("dataCorrupted: ") + what);
        return *decoder.error;
    }
    if (!document.isObject()) {
        const QString what = QStringLiteral("the document is not an object");
        decoder.fail(ThemeError(ThemeError::Kind::invalidJSON, what), QStringLiteral("typeMismatch: ") + what);
        return *decoder.error;
    }
    const QJsonObject root = document.object();
    ThemeDefinition theme;
    theme.id = decoder.string(root, QString(), "id");
    theme.name = decoder.string(root, QString(), "name");
    theme.author = decoder.string(root, QString(), "author");
    theme.description = decoder.string(root, QString(), "description");
    theme.version = decoder.string(root, QString(), "version");
    theme.lightMode = decoder.colors(root, "light_mode");
    theme.darkMode = decoder.colors(root, "dark_mode");
    theme.layout = decoder.layout(root);
    if (decoder.error)
        return *decoder.error;
    return theme;
}

std::optional<ThemeError> checkColorRanges(const ThemeDefinition& theme) {
    for (const ThemeColors* colors : {&theme.lightMode, &theme.darkMode}) {
        for (const auto& [name, member] : ThemeColors::fields()) {
            const CodableColor& color = colors->*member;
            if (!color.inRange())
                return ThemeError(ThemeError::Kind::invalidColorValue, color.hexText());
        }
    }
    return std::nullopt;
}

std::variant<ThemeDefinition, ThemeLoadFailure> loadThemeFile(const QString& path) {
    QFile file(path);
    if (!QFileInfo::exists(path))
        return ThemeLoadFailure{ThemeError(ThemeError::Kind::fileNotFound, path).description(), std::nullopt};
    if (!file.open(QIODevice::ReadOnly))
        return ThemeLoadFailure{QStringLiteral("Could not read %1: %2").arg(path, file.errorString()), std::nullopt};
    QString details;
    auto decoded = decodeTheme(file.readAll(), &details);
    if (const auto* error = std::get_if<ThemeError>(&decoded))
        return ThemeLoadFailure{error->description(), details};
    ThemeDefinition theme = std::get<ThemeDefinition>(std::move(decoded));
    if (const auto error = checkColorRanges(theme))
        return ThemeLoadFailure{error->description(), std::nullopt};
    theme.file = path;
    return theme;
}

int compareThemeVersions(const QString& a, const QString& b) {
    const auto parts = [](const QString& version) {
        static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
        QList<qint64> values;
        for (const QString& part : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
            bool ok = false;
            const qint64 value = number.match(part).hasMatch() ? part.toLongLong(&ok, 10) : 0;
            values.append(ok ? value : 0);
        }
        return values;
    };
    const QList<qint64> left = parts(a);
    const QList<qint64> right = parts(b);
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const qint64 l = left.value(i, 0);
        const qint64 r = right.value(i, 0);
        if (l != r)
            return l < r ? -1 : 1;
    }
    return 0;
}

} // namespace pierline
