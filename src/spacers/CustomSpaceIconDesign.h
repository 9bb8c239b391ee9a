#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

// The design of a generated spacer icon as stored in a spacer's metadata, and the editor's choices
// that produce it.
namespace pierline {

// sRGB components, each 0..1.
struct CustomSpaceCodableColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    bool operator==(const CustomSpaceCodableColor&) const = default;
};

enum class IconTextOrientation { Vertical, Horizontal };
enum class IconTextAlignment { Leading, Center, Trailing };

struct CustomSpaceGeneratedIconConfig {
    QString text; // lines separated by line breaks
    CustomSpaceCodableColor backgroundColor;
    CustomSpaceCodableColor textColor;
    bool isBackgroundTransparent = false;
    IconTextOrientation orientation = IconTextOrientation::Vertical;
    IconTextAlignment alignment = IconTextAlignment::Center;
    bool isMirrored = false;
    std::optional<double> padding;  // fraction of the icon side
    std::optional<double> fontSize; // points of the 1024 canvas; absent: automatic
    std::optional<double> textBorderWidth;
    std::optional<CustomSpaceCodableColor> textBorderColor;
    std::optional<double> iconBorderWidth;
    std::optional<CustomSpaceCodableColor> iconBorderColor;
    std::optional<bool> tahoeAware; // saved on a system of major version 26 or later
    std::optional<bool> isBackgroundGlass;
    bool operator==(const CustomSpaceGeneratedIconConfig&) const = default;
};

QJsonObject toJson(const CustomSpaceGeneratedIconConfig& config);
// A decoded record, or the error naming the key that is missing or wrong.
struct IconConfigDecodeResult {
    std::optional<CustomSpaceGeneratedIconConfig> config;
    QString error;
};
IconConfigDecodeResult iconConfigFromJson(const QJsonObject& object);
IconConfigDecodeResult iconConfigFromJsonBytes(const QByteArray& bytes);

// The editor's presets: each case with its label and the number the record stores.
enum class IconPaddingPreset { None, Standard, Large };
enum class TextSizePreset { Auto, Small, Large };
enum class TextBorderPreset { None, Thin, Bold };
enum class IconBorderPreset { None, Thin, Bold };

double paddingValue(IconPaddingPreset preset);                  // 0.0, 0.1, 0.2
std::optional<double> fontSizeValue(TextSizePreset preset);     // absent, 80, 250
std::optional<double> textBorderWidthValue(TextBorderPreset p); // absent, 3, 10
std::optional<double> iconBorderWidthValue(IconBorderPreset p); // absent, 8, 20
QString presetLabel(IconPaddingPreset preset);                  // "None", "Standard", "Large"
QString presetLabel(TextSizePreset preset);                     // "Auto", "Small", "Large"
QString presetLabel(TextBorderPreset preset);                   // "None", "Thin", "Bold"
QString presetLabel(IconBorderPreset preset);                   // "None", "Thin", "Bold"

// The steps of the spacer editor, in order.
enum class CustomSpaceStep { Library, IconChoice, ConfigureIcon, NameInput, Creating, Done };

enum class CustomSpaceIconMode { Upload, Create };
QString iconModeName(CustomSpaceIconMode mode); // "upload", "create"
std::optional<CustomSpaceIconMode> iconModeFromName(const QString& name);

// What the editor holds while a spacer is designed.
struct CustomSpaceEditorChoices {
    CustomSpaceIconMode mode = CustomSpaceIconMode::Create;
    QString text;
    CustomSpaceCodableColor backgroundColor{0, 0.478, 1, 1}; // the system blue
    CustomSpaceCodableColor textColor{1, 1, 1, 1};
    bool isBackgroundTransparent = false;
    bool isBackgroundGlass = false;
    IconTextOrientation orientation = IconTextOrientation::Vertical;
    IconTextAlignment alignment = IconTextAlignment::Center;
    bool isMirrored = false;
    IconPaddingPreset padding = IconPaddingPreset::Standard;
    TextSizePreset textSize = TextSizePreset::Auto;
    TextBorderPreset textBorder = TextBorderPreset::None;
    CustomSpaceCodableColor textBorderColor{0, 0, 0, 1};
    IconBorderPreset iconBorder = IconBorderPreset::None;
    CustomSpaceCodableColor iconBorderColor{0, 0, 0, 1};
    QString name;

    // The record to store; a border colour only with a border. tahoeAware is the caller's to set.
    CustomSpaceGeneratedIconConfig config() const;
};

QString orientationName(IconTextOrientation orientation); // "vertical", "horizontal"
QString alignmentName(IconTextAlignment alignment);       // "leading", "center", "trailing"
std::optional<IconTextOrientation> orientationFromName(const QString& name);
std::optional<IconTextAlignment> alignmentFromName(const QString& name);

// The system generation whose Dock clips every icon into a rounded square.
inline constexpr int kTahoeMajorVersion = 26;
bool isTahoe(int systemMajorVersion);

// What the editor shows on Tahoe and later.
inline const QString kTahoeTransparentNote = QStringLiteral(
    "On macOS Tahoe, transparent icons get a gray background from the system. The spacer will not be invisible.");
inline const QString kTahoeRegenerateNote = QStringLiteral(
    "This spacer was created before macOS Tahoe. Saving will regenerate with squircle-optimized geometry.");

} // namespace pierline
