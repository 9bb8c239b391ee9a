// Arbitrary bytes as a theme file: decoded, range-checked, and what decodes written back in the
// file form must decode to itself.
#include "themes/ThemeDefinition.h"

#include <QJsonDocument>

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString details;
    const auto decoded = decodeTheme(bytes, &details);
    if (const auto* error = std::get_if<ThemeError>(&decoded)) {
        if (error->description().isEmpty() || details.isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    const ThemeDefinition& theme = std::get<ThemeDefinition>(decoded);
    if (const auto range = checkColorRanges(theme)) {
        if (!range->value().startsWith(QLatin1Char('#')))
            std::abort();
    }
    const auto again = decodeTheme(QJsonDocument(theme.toJson()).toJson());
    if (!std::holds_alternative<ThemeDefinition>(again) || !std::get<ThemeDefinition>(again).sameContent(theme))
        std::abort();
    (void)CodableColor::fromHex(QString::fromUtf8(bytes)).hexText();
    (void)compareThemeVersions(theme.version, QString::fromUtf8(bytes));
    return 0;
}
