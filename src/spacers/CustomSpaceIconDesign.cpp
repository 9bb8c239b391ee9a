#include "CustomSpaceIconDesign.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace pierline {
namespace {

QJsonObject colorJson(const CustomSpaceCodableColor& color) {
    return {{QStringLiteral("red"), color.red},
            {QStringLiteral("green"), color.green},
            {QStringLiteral("blue"), color.blue},
            {QStringLiteral("alpha"), color.alpha}};
}

// Reads one key after another and keeps the first problem, named by its key.
class Reader {
public:
    explicit Reader(const QJsonObject& object) : object_(object) {}

    const QString& error() const { return error_; }

    bool has(const char* key) const { return object_.contains(QLatin1String(key)); }

    template <typename T> T required(const char* key, T (Reader::*read)(const QString&, const QJsonValue&)) {
        if (!error_.isEmpty())
            return T{};
        if (!has(key)) {
            error_ = QStringLiteral("missing key \"%1\"").arg(QLatin1String(key));
            return T{};
        }
        return (this->*read)(QLatin1String(key), object_.value(QLatin1String(key)));
    }
    template <typename T>
    std::optional<T> optional(const char* key, T (Reader::*read)(const QString&, const QJsonValue&)) {
        // An explicit null reads as absent, as the record's optional keys are.
        if (!error_.isEmpty() || !has(key) || object_.value(QLatin1String(key)).isNull())
            return std::nullopt;
        T value = (this->*read)(QLatin1String(key), object_.value(QLatin1String(key)));
        return error_.isEmpty() ? std::optional<T>(value) : std::nullopt;
    }

    QString string(const QString& key, const QJsonValue& value) {
        if (!value.isString())
            fail(key, QStringLiteral("a string"));
        return value.toString();
    }
    bool boolean(const QString& key, const QJsonValue& value) {
        if (!value.isBool())
            fail(key, QStringLiteral("true or false"));
        return value.toBool();
    }
    double number(const QString& key, const QJsonValue& value) {
        if (!value.isDouble())
            fail(key, QStringLiteral("a number"));
        return value.toDouble();
    }
    CustomSpaceCodableColor color(const QString& key, const QJsonValue& value) {
        if (!value.isObject()) {
            fail(key, QStringLiteral("a colour object"));
            return {};
        }
        const QJsonObject object = value.toObject();
        CustomSpaceCodableColor color;
        const std::pair<const char*, double*> components[] = {
            {"red", &color.red}, {"green", &color.green}, {"blue", &color.blue}, {"alpha", &color.alpha}};
        for (const auto& [name, target] : components) {
            const QString path = key + QLatin1Char('.') + QLatin1String(name);
            const QJsonValue component = object.value(QLatin1String(name));
            if (!error_.isEmpty())
                break;
            if (component.isUndefined()) {
                error_ = QStringLiteral("missing key \"%1\"").arg(path);
            } else if (!component.isDouble()) {
                fail(path, QStringLiteral("a number"));
            } else if (component.toDouble() < 0 || component.toDouble() > 1) {
                error_ = QStringLiteral("\"%1\" must lie between 0 and 1").arg(path);
            } else {
                *target = component.toDouble();
            }
        }
        return color;
    }
    IconTextOrientation orientation(const QString& key, const QJsonValue& value) {
        const auto parsed = orientationFromName(string(key, value));
        if (!parsed && error_.isEmpty())
            error_ = QStringLiteral("\"%1\" must be \"vertical\" or \"horizontal\"").arg(key);
        return parsed.value_or(IconTextOrientation::Vertical);
    }
    IconTextAlignment alignment(const QString& key, const QJsonValue& value) {
        const auto parsed = alignmentFromName(string(key, value));
        if (!parsed && error_.isEmpty())
            error_ = QStringLiteral("\"%1\" must be \"leading\", \"center\" or \"trailing\"").arg(key);
        return parsed.value_or(IconTextAlignment::Center);
    }

private:
    void fail(const QString& key, const QString& expected) {
        if (error_.isEmpty())
            error_ = QStringLiteral("\"%1\" must be %2").arg(key, expected);
    }

    QJsonObject object_;
    QString error_;
};

} // namespace

QJsonObject toJson(const CustomSpaceGeneratedIconConfig& config) {
    QJsonObject object = {
        {QStringLiteral("text"), config.text},
        {QStringLiteral("backgroundColor"), colorJson(config.backgroundColor)},
        {QStringLiteral("textColor"), colorJson(config.textColor)},
        {QStringLiteral("isBackgroundTransparent"), config.isBackgroundTransparent},
        {QStringLiteral("orientation"), orientationName(config.orientation)},
        {QStringLiteral("alignment"), alignmentName(config.alignment)},
        {QStringLiteral("isMirrored"), config.isMirrored},
    };
    const auto put = [&object](const char* key, const auto& value) {
        if (value)
            object.insert(QLatin1String(key), QJsonValue(*value));
    };
    put("padding", config.padding);
    put("fontSize", config.fontSize);
    put("textBorderWidth", config.textBorderWidth);
    if (config.textBorderColor)
        object.insert(QStringLiteral("textBorderColor"), colorJson(*config.textBorderColor));
    put("iconBorderWidth", config.iconBorderWidth);
    if (config.iconBorderColor)
        object.insert(QStringLiteral("iconBorderColor"), colorJson(*config.iconBorderColor));
    put("tahoeAware", config.tahoeAware);
    put("isBackgroundGlass", config.isBackgroundGlass);
    return object;
}

IconConfigDecodeResult iconConfigFromJson(const QJsonObject& object) {
    Reader r(object);
    CustomSpaceGeneratedIconConfig config;
    // In the record's key order, so the first problem is the one reported.
    config.text = r.required("text", &Reader::string);
    config.backgroundColor = r.required("backgroundColor", &Reader::color);
    config.textColor = r.required("textColor", &Reader::color);
    config.isBackgroundTransparent = r.required("isBackgroundTransparent", &Reader::boolean);
    config.orientation = r.required("orientation", &Reader::orientation);
    config.alignment = r.required("alignment", &Reader::alignment);
    config.isMirrored = r.required("isMirrored", &Reader::boolean);
    config.padding = r.optional("padding", &Reader::number);
    config.fontSize = r.optional("fontSize", &Reader::number);
    config.textBorderWidth = r.optional("textBorderWidth", &Reader::number);
    config.textBorderColor = r.optional("textBorderColor", &Reader::color);
    config.iconBorderWidth = r.optional("iconBorderWidth", &Reader::number);
    config.iconBorderColor = r.optional("iconBorderColor", &Reader::color);
    config.tahoeAware = r.optional("tahoeAware", &Reader::boolean);
    config.isBackgroundGlass = r.optional("isBackgroundGlass", &Reader::boolean);
    if (!r.error().isEmpty())
        return {std::nullopt, r.error()};
    // Numbers the drawing could not use: an inset past the middle, a size or width below zero.
    if (config.padding && (*config.padding < 0 || *config.padding >= 0.5))
        return {std::nullopt, QStringLiteral("\"padding\" must lie from 0 to below 0.5")};
    if (config.fontSize && (*config.fontSize <= 0 || *config.fontSize > 1024))
        return {std::nullopt, QStringLiteral("\"fontSize\" must lie above 0 and at most 1024")};
    for (const auto& [key, width] :
         {std::pair{"textBorderWidth", config.textBorderWidth}, std::pair{"iconBorderWidth", config.iconBorderWidth}}) {
        if (width && (*width < 0 || *width > 200))
            return {std::nullopt, QStringLiteral("\"%1\" must lie from 0 to 200").arg(QLatin1String(key))};
    }
    return {config, {}};
}

IconConfigDecodeResult iconConfigFromJsonBytes(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return {std::nullopt, QStringLiteral("not JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset)};
    if (!document.isObject())
        return {std::nullopt, QStringLiteral("not a JSON object")};
    return iconConfigFromJson(document.object());
}

double paddingValue(IconPaddingPreset preset) {
    switch (preset) {
    case IconPaddingPreset::None:
        return 0.0;
    case IconPaddingPreset::Standard:
        return 0.1;
    case IconPaddingPreset::Large:
        return 0.2;
    }
    return 0.1;
}

std::optional<double> fontSizeValue(TextSizePreset preset) {
    switch (preset) {
    case TextSizePreset::Auto:
        return std::nullopt;
    case TextSizePreset::Small:
        return 80;
    case TextSizePreset::Large:
        return 250;
    }
    return std::nullopt;
}

std::optional<double> textBorderWidthValue(TextBorderPreset preset) {
    switch (preset) {
    case TextBorderPreset::None:
        return std::nullopt;
    case TextBorderPreset::Thin:
        return 3;
    case TextBorderPreset::Bold:
        return 10;
    }
    return std::nullopt;
}

std::optional<double> iconBorderWidthValue(IconBorderPreset preset) {
    switch (preset) {
    case IconBorderPreset::None:
        return std::nullopt;
    case IconBorderPreset::Thin:
        return 8;
    case IconBorderPreset::Bold:
        return 20;
    }
    return std::nullopt;
}

QString presetLabel(IconPaddingPreset preset) {
    const char* labels[] = {"None", "Standard", "Large"};
    return QLatin1String(labels[static_cast<int>(preset)]);
}
QString presetLabel(TextSizePreset preset) {
    const char* labels[] = {"Auto", "Small", "Large"};
    return QLatin1String(labels[static_cast<int>(preset)]);
}
QString presetLabel(TextBorderPreset preset) {
    const char* labels[] = {"None", "Thin", "Bold"};
    return QLatin1String(labels[static_cast<int>(preset)]);
}
QString presetLabel(IconBorderPreset preset) {
    const char* labels[] = {"None", "Thin", "Bold"};
    return QLatin1String(labels[static_cast<int>(preset)]);
}

QString iconModeName(CustomSpaceIconMode mode) {
    return mode == CustomSpaceIconMode::Upload ? QStringLiteral("upload") : QStringLiteral("create");
}

std::optional<CustomSpaceIconMode> iconModeFromName(const QString& name) {
    if (name == QLatin1String("upload"))
        return CustomSpaceIconMode::Upload;
    if (name == QLatin1String("create"))
        return CustomSpaceIconMode::Create;
    return std::nullopt;
}

CustomSpaceGeneratedIconConfig CustomSpaceEditorChoices::config() const {
    CustomSpaceGeneratedIconConfig config;
    config.text = text;
    config.backgroundColor = backgroundColor;
    config.textColor = textColor;
    config.isBackgroundTransparent = isBackgroundTransparent;
    config.orientation = orientation;
    config.alignment = alignment;
    config.isMirrored = isMirrored;
    config.padding = paddingValue(padding);
    config.fontSize = fontSizeValue(textSize);
    config.textBorderWidth = textBorderWidthValue(textBorder);
    if (textBorder != TextBorderPreset::None)
        config.textBorderColor = textBorderColor;
    config.iconBorderWidth = iconBorderWidthValue(iconBorder);
    if (iconBorder != IconBorderPreset::None)
        config.iconBorderColor = iconBorderColor;
    config.isBackgroundGlass = isBackgroundGlass;
    return config;
}

QString orientationName(IconTextOrientation orientation) {
    return orientation == IconTextOrientation::Vertical ? QStringLiteral("vertical") : QStringLiteral("horizontal");
}

QString alignmentName(IconTextAlignment alignment) {
    switch (alignment) {
    case IconTextAlignment::Leading:
        return QStringLiteral("leading");
    case IconTextAlignment::Center:
        return QStringLiteral("center");
    case IconTextAlignment::Trailing:
        return QStringLiteral("trailing");
    }
    return QStringLiteral("center");
}

std::optional<IconTextOrientation> orientationFromName(const QString& name) {
    if (name == QLatin1String("vertical"))
        return IconTextOrientation::Vertical;
    if (name == QLatin1String("horizontal"))
        return IconTextOrientation::Horizontal;
    return std::nullopt;
}

std::optional<IconTextAlignment> alignmentFromName(const QString& name) {
    if (name == QLatin1String("leading"))
        return IconTextAlignment::Leading;
    if (name == QLatin1String("center"))
        return IconTextAlignment::Center;
    if (name == QLatin1String("trailing"))
        return IconTextAlignment::Trailing;
    return std::nullopt;
}

bool isTahoe(int systemMajorVersion) {
    return systemMajorVersion >= kTahoeMajorVersion;
}

} // namespace pierline
