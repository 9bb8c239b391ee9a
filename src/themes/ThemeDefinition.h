#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

namespace pierline {

// A colour as theme files write it: four components, each meant to lie in 0..1. The windows turn
// it into a QColor; this library needs no GUI.
struct CodableColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    // "#RRGGBB", "RRGGBB", "AARRGGBB" (surrounding punctuation ignored); any other length is opaque black.
    static CodableColor fromHex(const QString& text);
    // "#RRGGBB" of each channel times 255, truncated; opacity is not shown.
    QString hexText() const;
    bool inRange() const;

    QJsonObject toJson() const;
    bool operator==(const CodableColor&) const = default;
};

// The thirteen named colours of one appearance, in the order theme files list them.
struct ThemeColors {
    CodableColor primaryColor;
    CodableColor secondaryColor;
    CodableColor backgroundColor;
    CodableColor surfaceColor;
    CodableColor textColor;
    CodableColor secondaryTextColor;
    CodableColor accentColor;
    CodableColor destructiveColor;
    CodableColor successColor;
    CodableColor warningColor;
    CodableColor borderColor;
    CodableColor dividerColor;
    CodableColor shadowColor;

    // Key and member of every colour, in file order.
    static const QList<std::pair<const char*, CodableColor ThemeColors::*>>& fields();
    QJsonObject toJson() const;
    bool operator==(const ThemeColors&) const = default;
};

// Measures in points; the duration in seconds.
struct ThemeLayout {
    double cornerRadius = 0;
    double padding = 0;
    double smallPadding = 0;
    double largePadding = 0;
    double borderWidth = 0;
    double shadowRadius = 0;
    double animationDuration = 0;

    static const QList<std::pair<const char*, double ThemeLayout::*>>& fields();
    QJsonObject toJson() const;
    bool operator==(const ThemeLayout&) const = default;
};

// One theme file. `file` is where it was loaded from, empty for the built-in theme; it is not
// part of the file's content.
struct ThemeDefinition {
    QString id;
    QString name;
    QString author;
    QString description;
    QString version;
    ThemeColors lightMode;
    ThemeColors darkMode;
    ThemeLayout layout;
    QString file;

    // The file form: all eight keys, colours as CodableColor objects.
    QJsonObject toJson() const;
    bool sameContent(const ThemeDefinition& other) const;
};

// The theme used when no file loads, and until loading finishes.
const ThemeDefinition& builtInTheme();

class ThemeError {
public:
    enum class Kind { fileNotFound, invalidJSON, missingRequiredField, invalidColorValue };
    ThemeError(Kind kind, QString value) : kind_(kind), value_(std::move(value)) {}
    Kind kind() const { return kind_; }
    const QString& value() const { return value_; }
    QString description() const;

private:
    Kind kind_;
    QString value_;
};

// Why a file failed to load: the error, and for a document that does not decode, its details.
struct ThemeLoadFailure {
    QString description;
    std::optional<QString> decodingDetails;
};

// Decodes a theme document; every key is required, extra keys are ignored. The error is
// invalidJSON (not JSON, a value of the wrong type) or missingRequiredField (the first missing key,
// as a dotted path); `details` gets the decoder's own account.
std::variant<ThemeDefinition, ThemeError> decodeTheme(const QByteArray& bytes, QString* details = nullptr);
// The first colour, light before dark, with a component outside 0..1: invalidColorValue with its hex text.
std::optional<ThemeError> checkColorRanges(const ThemeDefinition& theme);
// Reads, decodes and range-checks one file, as the loader does; `file` is set on success.
std::variant<ThemeDefinition, ThemeLoadFailure> loadThemeFile(const QString& path);

// Dotted versions compared part by part: empty parts dropped, a part that is not a number is 0, a
// missing part 0. Negative, zero or positive as `a` is lower, equal or higher.
int compareThemeVersions(const QString& a, const QString& b);

} // namespace pierline
