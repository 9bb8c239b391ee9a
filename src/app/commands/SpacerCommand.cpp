#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "core/CustomSpaceLocation.h"
#include "platform/AtomicFile.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "spacers/CustomSpaceIconDesign.h"
#include "spacers/CustomSpaceIconRenderer.h"
#include "spacers/CustomSpaceNames.h"
#include "spacers/CustomSpaceService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("spacer list [--json]\n"
                                      "       spacer create NAME [DESIGN | --upload IMAGE]\n"
                                      "       spacer update SPACER [--name NEW] [DESIGN | --upload IMAGE]\n"
                                      "       spacer show SPACER [--json]\n"
                                      "       spacer delete SPACER\n"
                                      "       spacer render [DESIGN] --out PNG [--size N] [--json]\n"
                                      "       spacer check-name NAME [--editing SPACER]");
const QString kDesignUsage = QStringLiteral(
    "DESIGN: --design FILE, or any of --text T, --background RRGGBB[AA], --transparent, --glass, --text-color C, "
    "--orientation vertical|horizontal, --alignment leading|center|trailing, --mirrored, "
    "--padding none|standard|large, --text-size auto|small|large, --text-border none|thin|bold, "
    "--text-border-color C, --icon-border none|thin|bold, --icon-border-color C");

int usage(const QString& message) {
    return usageError(message, kUsage);
}

// The options that describe an icon, shared by every command that draws one.
struct DesignOptions {
    QCommandLineOption design{QStringLiteral("design"), QStringLiteral("A design record (JSON)."),
                              QStringLiteral("FILE")};
    QCommandLineOption text{QStringLiteral("text"), QStringLiteral("The label; line breaks separate lines."),
                            QStringLiteral("T")};
    QCommandLineOption background{QStringLiteral("background"),
                                  QStringLiteral("Background colour (an opaque, flat background)."),
                                  QStringLiteral("RRGGBB[AA]")};
    QCommandLineOption transparent{QStringLiteral("transparent"), QStringLiteral("No background fill.")};
    QCommandLineOption glass{QStringLiteral("glass"), QStringLiteral("A glass background.")};
    QCommandLineOption textColor{QStringLiteral("text-color"), QStringLiteral("Label colour."),
                                 QStringLiteral("RRGGBB[AA]")};
    QCommandLineOption orientation{QStringLiteral("orientation"), QStringLiteral("vertical or horizontal."),
                                   QStringLiteral("O")};
    QCommandLineOption alignment{QStringLiteral("alignment"), QStringLiteral("leading, center or trailing."),
                                 QStringLiteral("A")};
    QCommandLineOption mirrored{QStringLiteral("mirrored"), QStringLiteral("Turn the label the other way.")};
    QCommandLineOption padding{QStringLiteral("padding"), QStringLiteral("none, standard or large."),
                               QStringLiteral("P")};
    QCommandLineOption textSize{QStringLiteral("text-size"), QStringLiteral("auto, small or large."),
                                QStringLiteral("S")};
    QCommandLineOption textBorder{QStringLiteral("text-border"), QStringLiteral("none, thin or bold."),
                                  QStringLiteral("B")};
    QCommandLineOption textBorderColor{QStringLiteral("text-border-color"), QStringLiteral("Label outline colour."),
                                       QStringLiteral("RRGGBB[AA]")};
    QCommandLineOption iconBorder{QStringLiteral("icon-border"), QStringLiteral("none, thin or bold."),
                                  QStringLiteral("B")};
    QCommandLineOption iconBorderColor{QStringLiteral("icon-border-color"), QStringLiteral("Icon outline colour."),
                                       QStringLiteral("RRGGBB[AA]")};

    QList<QCommandLineOption> all() const {
        return {design,   text,    background, transparent, glass,           textColor,  orientation,    alignment,
                mirrored, padding, textSize,   textBorder,  textBorderColor, iconBorder, iconBorderColor};
    }
    void addTo(QCommandLineParser& parser) const { parser.addOptions(all()); }
    bool anyChoiceSet(const QCommandLineParser& parser) const {
        const QList<QCommandLineOption> options = all();
        return std::any_of(options.begin() + 1, options.end(),
                           [&](const QCommandLineOption& option) { return parser.isSet(option); });
    }
};

std::optional<CustomSpaceCodableColor> parseColor(const QString& text) {
    QString hex = text.startsWith(QLatin1Char('#')) ? text.mid(1) : text;
    if (hex.size() != 6 && hex.size() != 8)
        return std::nullopt;
    bool ok = false;
    const uint value = hex.toUInt(&ok, 16);
    if (!ok)
        return std::nullopt;
    const uint rgba = hex.size() == 6 ? (value << 8 | 0xffu) : value;
    const auto component = [rgba](int shift) { return double((rgba >> shift) & 0xffu) / 255.0; };
    return CustomSpaceCodableColor{component(24), component(16), component(8), component(0)};
}

template <typename Enum>
std::optional<Enum> presetNamed(const QString& text, const std::initializer_list<std::pair<const char*, Enum>>& cases) {
    for (const auto& [name, value] : cases)
        if (text == QLatin1String(name))
            return value;
    return std::nullopt;
}

// A design: the record of --design FILE, or `base` with the editor's choices of the command line
// on top. The error text names the option or key, for a usage error.
struct DesignResult {
    std::optional<CustomSpaceGeneratedIconConfig> config;
    QString error;
};

DesignResult designFrom(const QCommandLineParser& parser, const DesignOptions& o, CustomSpaceGeneratedIconConfig c) {
    const auto fail = [](const QString& why) { return DesignResult{std::nullopt, why}; };
    if (parser.isSet(o.design)) {
        if (o.anyChoiceSet(parser))
            return fail(QStringLiteral("--design takes no other design options"));
        const QString path = SystemPaths::expandingTilde(parser.value(o.design));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("Cannot read the design %1: %2").arg(path, file.errorString()));
        IconConfigDecodeResult decoded = iconConfigFromJsonBytes(file.readAll());
        if (!decoded.config)
            return fail(QStringLiteral("Invalid design %1: %2").arg(path, decoded.error));
        return {decoded.config, {}};
    }
    if (parser.isSet(o.text))
        c.text = parser.value(o.text);
    for (const auto& [option, target] :
         {std::pair{&o.background, &c.backgroundColor}, std::pair{&o.textColor, &c.textColor}}) {
        if (!parser.isSet(*option))
            continue;
        const auto color = parseColor(parser.value(*option));
        if (!color)
            return fail(QStringLiteral("--%1 takes a colour RRGGBB or RRGGBBAA: %2")
                            .arg(option->names().first(), parser.value(*option)));
        *target = *color;
    }
    if (parser.isSet(o.background)) {
        c.isBackgroundTransparent = false;
        c.isBackgroundGlass = false;
    }
    if (parser.isSet(o.transparent))
        c.isBackgroundTransparent = true;
    if (parser.isSet(o.glass))
        c.isBackgroundGlass = true;
    if (parser.isSet(o.orientation)) {
        const auto value = orientationFromName(parser.value(o.orientation));
        if (!value)
            return fail(
                QStringLiteral("--orientation takes vertical or horizontal: %1").arg(parser.value(o.orientation)));
        c.orientation = *value;
    }
    if (parser.isSet(o.alignment)) {
        const auto value = alignmentFromName(parser.value(o.alignment));
        if (!value)
            return fail(
                QStringLiteral("--alignment takes leading, center or trailing: %1").arg(parser.value(o.alignment)));
        c.alignment = *value;
    }
    if (parser.isSet(o.mirrored))
        c.isMirrored = true;
    if (parser.isSet(o.padding)) {
        const auto value =
            presetNamed<IconPaddingPreset>(parser.value(o.padding), {{"none", IconPaddingPreset::None},
                                                                     {"standard", IconPaddingPreset::Standard},
                                                                     {"large", IconPaddingPreset::Large}});
        if (!value)
            return fail(QStringLiteral("--padding takes none, standard or large: %1").arg(parser.value(o.padding)));
        c.padding = paddingValue(*value);
    }
    if (parser.isSet(o.textSize)) {
        const auto value = presetNamed<TextSizePreset>(
            parser.value(o.textSize),
            {{"auto", TextSizePreset::Auto}, {"small", TextSizePreset::Small}, {"large", TextSizePreset::Large}});
        if (!value)
            return fail(QStringLiteral("--text-size takes auto, small or large: %1").arg(parser.value(o.textSize)));
        c.fontSize = fontSizeValue(*value);
    }
    // A border colour is kept only with a border: the editor's colour is black until one is chosen.
    struct Border {
        const QCommandLineOption* preset;
        const QCommandLineOption* colorOption;
        std::optional<double>* width;
        std::optional<CustomSpaceCodableColor>* color;
        bool isText;
    };
    for (const Border& border :
         {Border{&o.textBorder, &o.textBorderColor, &c.textBorderWidth, &c.textBorderColor, true},
          Border{&o.iconBorder, &o.iconBorderColor, &c.iconBorderWidth, &c.iconBorderColor, false}}) {
        if (parser.isSet(*border.preset)) {
            const QString name = parser.value(*border.preset);
            const auto preset = presetNamed<int>(name, {{"none", 0}, {"thin", 1}, {"bold", 2}});
            if (!preset)
                return fail(
                    QStringLiteral("--%1 takes none, thin or bold: %2").arg(border.preset->names().first(), name));
            *border.width = border.isText ? textBorderWidthValue(TextBorderPreset(*preset))
                                          : iconBorderWidthValue(IconBorderPreset(*preset));
        }
        if (parser.isSet(*border.colorOption)) {
            const auto color = parseColor(parser.value(*border.colorOption));
            if (!color)
                return fail(QStringLiteral("--%1 takes a colour RRGGBB or RRGGBBAA: %2")
                                .arg(border.colorOption->names().first(), parser.value(*border.colorOption)));
            *border.color = *color;
        }
        if (!border.width->has_value())
            border.color->reset();
        else if (!border.color->has_value())
            *border.color = CustomSpaceCodableColor{0, 0, 0, 1};
    }
    return {c, {}};
}

QJsonObject layoutJson(const IconTextLayout& layout) {
    QJsonArray lines;
    for (const QRectF& rect : layout.lines)
        lines.append(QJsonObject{{QStringLiteral("x"), rect.x()},
                                 {QStringLiteral("y"), rect.y()},
                                 {QStringLiteral("width"), rect.width()},
                                 {QStringLiteral("height"), rect.height()}});
    return {{QStringLiteral("fontSize"), layout.fontSize},
            {QStringLiteral("tahoe"), layout.tahoe},
            {QStringLiteral("lines"), lines}};
}

int runRender(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws a spacer icon into a PNG file.\n") + kDesignUsage);
    const DesignOptions design;
    design.addTo(parser);
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("The PNG file to write."),
                                       QStringLiteral("PNG"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("Pixels, 16 to 1024 (1024)."),
                                        QStringLiteral("N"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the label's layout as JSON."));
    parser.addOptions({outOption, sizeOption, json});
    if (auto exit = parse(parser, QStringLiteral("spacer render"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("spacer render takes no arguments: %1").arg(parser.positionalArguments().first()));
    if (!parser.isSet(outOption) || parser.value(outOption).isEmpty())
        return usage(QStringLiteral("spacer render needs --out PNG"));
    int size = kMasterIconSide;
    if (parser.isSet(sizeOption)) {
        bool ok = false;
        size = parser.value(sizeOption).toInt(&ok);
        if (!ok || size < 16 || size > kMasterIconSide)
            return usage(QStringLiteral("--size takes a number from 16 to 1024: %1").arg(parser.value(sizeOption)));
    }
    const DesignResult result = designFrom(parser, design, CustomSpaceEditorChoices().config());
    if (!result.config)
        return usage(result.error);

    const RenderedIcon icon = renderCustomSpaceIcon(*result.config, isTahoe(SystemPaths::systemMajorVersion()));
    const auto png = scaledPng(icon.image, size);
    if (!png) {
        err(QStringLiteral("Failed to create PNG data"));
        return kExitFailed;
    }
    const QString path = SystemPaths::expandingTilde(parser.value(outOption));
    if (const auto failed = replaceFileAtomically(path, *png)) {
        err(*failed);
        return kExitFailed;
    }
    if (parser.isSet(json))
        outJson(layoutJson(icon.layout));
    return kExitOk;
}

// SPACER as the user gives it: an existing spacer's name, else a path, else a Dock URL.
std::optional<QString> resolveSpacer(const QString& text) {
    const QString sanitized = sanitizeCustomSpaceName(text);
    if (!sanitized.isEmpty() && !text.contains(QLatin1Char('/'))) {
        const QString byName = customSpaceBundleFor(sanitized);
        if (QFileInfo(byName).isDir() && customSpaceBundlePath(byName))
            return byName;
    }
    return customSpaceBundleForLocation(text);
}

int runCheckName(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks a spacer name as the spacer editor does; prints the name the bundle gets."));
    const QCommandLineOption editing(QStringLiteral("editing"), QStringLiteral("The spacer being renamed."),
                                     QStringLiteral("SPACER"));
    parser.addOption(editing);
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The name."));
    if (auto exit = parse(parser, QStringLiteral("spacer check-name"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("spacer check-name takes one NAME"));
    const QString name = parser.positionalArguments().first();
    if (const auto unusable = unusableNameText(name))
        return usage(*unusable);
    QString edited;
    if (parser.isSet(editing)) {
        const auto bundle = resolveSpacer(parser.value(editing));
        if (!bundle) {
            err(QStringLiteral("Invalid custom space path. %1").arg(parser.value(editing)));
            return kExitFailed;
        }
        edited = *bundle;
    }
    if (const auto problem = customSpaceNameProblem(name, edited)) {
        err(*problem);
        return kExitFailed;
    }
    out(sanitizeCustomSpaceName(name));
    return kExitOk;
}

QString appUrl(const QString& bundle) {
    return fileUrlFromPath(bundle, true).toString(QUrl::FullyEncoded);
}

int spacerFailed(const CustomSpaceError& error) {
    err(error.description);
    return kExitFailed;
}

int invalidSpacer(const QString& text) {
    err(QStringLiteral("Invalid custom space path. %1").arg(text));
    return kExitFailed;
}

// An image the user uploads; nullopt after saying why.
std::optional<QImage> uploadedImage(const QString& argument) {
    const QString path = SystemPaths::expandingTilde(argument);
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull()) {
        err(QStringLiteral("Cannot read the image %1: %2").arg(path, reader.errorString()));
        return std::nullopt;
    }
    return image;
}

void printTahoeNotes(const CustomSpaceGeneratedIconConfig* config, bool reopenedWithoutTahoe) {
    if (!isTahoe(SystemPaths::systemMajorVersion()))
        return;
    if (config && config->isBackgroundTransparent)
        err(kTahoeTransparentNote);
    if (reopenedWithoutTahoe)
        err(kTahoeRegenerateNote);
}

int runList(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lists the custom spacers of this home."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    parser.addOption(json);
    if (auto exit = parse(parser, QStringLiteral("spacer list"), kUsage, args))
        return *exit;
    if (!parser.positionalArguments().isEmpty())
        return usage(QStringLiteral("spacer list takes no arguments"));
    const QList<CustomSpaceInfo> spaces = CustomSpaceService().listCustomSpaces();
    if (parser.isSet(json)) {
        QJsonArray answer;
        for (const CustomSpaceInfo& space : spaces)
            answer.append(QJsonObject{{QStringLiteral("name"), space.name},
                                      {QStringLiteral("appURL"), appUrl(space.bundlePath)}});
        outJson(answer);
        return kExitOk;
    }
    if (spaces.isEmpty())
        out(QStringLiteral("No custom spacers"));
    for (const CustomSpaceInfo& space : spaces)
        out(QStringLiteral("%1  %2").arg(space.name, space.bundlePath));
    return kExitOk;
}

struct IconChoice {
    CustomSpaceIconMode mode = CustomSpaceIconMode::Create;
    std::optional<CustomSpaceGeneratedIconConfig> config;
    std::optional<QImage> upload;
};

int runCreate(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Makes a custom spacer app and prints its path.\n") + kDesignUsage);
    const DesignOptions design;
    design.addTo(parser);
    const QCommandLineOption upload(QStringLiteral("upload"), QStringLiteral("Use this image as the icon."),
                                    QStringLiteral("IMAGE"));
    parser.addOption(upload);
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The spacer's name."));
    if (auto exit = parse(parser, QStringLiteral("spacer create"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("spacer create takes one NAME"));
    const QString name = parser.positionalArguments().first();
    if (const auto unusable = unusableNameText(name))
        return usage(*unusable);
    if (parser.isSet(upload) && (parser.isSet(design.design) || design.anyChoiceSet(parser)))
        return usage(QStringLiteral("Give either a design or --upload IMAGE"));

    const CustomSpaceService service;
    CustomSpaceResult result;
    if (parser.isSet(upload)) {
        const auto image = uploadedImage(parser.value(upload));
        if (!image)
            return kExitUsage;
        result = service.create(name, CustomSpaceIconMode::Upload, std::nullopt, *image, *image);
    } else {
        const DesignResult chosen = designFrom(parser, design, CustomSpaceEditorChoices().config());
        if (!chosen.config)
            return usage(chosen.error);
        CustomSpaceGeneratedIconConfig config = *chosen.config;
        const bool tahoe = isTahoe(SystemPaths::systemMajorVersion());
        config.tahoeAware = tahoe;
        printTahoeNotes(&config, false);
        const RenderedIcon icon = renderCustomSpaceIcon(config, tahoe);
        result = service.create(name, CustomSpaceIconMode::Create, config, icon.image);
    }
    if (result.error)
        return spacerFailed(*result.error);
    out(*result.bundlePath);
    return kExitOk;
}

int runUpdate(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Rebuilds a custom spacer; what is not given comes from its stored design.\n") + kDesignUsage);
    const DesignOptions design;
    design.addTo(parser);
    const QCommandLineOption upload(QStringLiteral("upload"), QStringLiteral("Use this image as the icon."),
                                    QStringLiteral("IMAGE"));
    const QCommandLineOption rename(QStringLiteral("name"), QStringLiteral("The new name."), QStringLiteral("NEW"));
    parser.addOptions({upload, rename});
    parser.addPositionalArgument(QStringLiteral("SPACER"), QStringLiteral("A spacer's name, path or Dock URL."));
    if (auto exit = parse(parser, QStringLiteral("spacer update"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("spacer update takes one SPACER"));
    if (parser.isSet(upload) && (parser.isSet(design.design) || design.anyChoiceSet(parser)))
        return usage(QStringLiteral("Give either a design or --upload IMAGE"));
    if (parser.isSet(rename)) {
        if (const auto unusable = unusableNameText(parser.value(rename)))
            return usage(*unusable);
    }
    const QString spacer = parser.positionalArguments().first();
    const auto bundle = resolveSpacer(spacer);
    if (!bundle || !QFileInfo(*bundle).isDir())
        return invalidSpacer(spacer);

    const CustomSpaceService service;
    const auto stored = service.loadEditableConfiguration(*bundle);
    const bool fullDesign = parser.isSet(design.design) || parser.isSet(upload);
    if (!stored && !fullDesign) {
        err(QStringLiteral("Cannot read the metadata of %1; give a full design with --design FILE or --upload IMAGE")
                .arg(QDir(*bundle).filePath(QStringLiteral("Contents/Resources/") + kCustomSpaceMetadataFileName)));
        return kExitFailed;
    }
    CustomSpaceEditableConfiguration configuration;
    if (stored)
        configuration = *stored;
    configuration.bundlePath = *bundle;
    if (!stored)
        configuration.name = QFileInfo(*bundle).completeBaseName();
    if (parser.isSet(rename))
        configuration.name = parser.value(rename);

    QImage iconImage;
    if (parser.isSet(upload)) {
        const auto image = uploadedImage(parser.value(upload));
        if (!image)
            return kExitUsage;
        configuration.iconMode = CustomSpaceIconMode::Upload;
        configuration.generatedIconConfig.reset();
        configuration.sourceUploadImage = *image;
        iconImage = *image;
    } else if (configuration.iconMode == CustomSpaceIconMode::Upload && !design.anyChoiceSet(parser) &&
               !parser.isSet(design.design)) {
        // The uploaded image stays; without it, the bundle's own icon.
        if (!configuration.sourceUploadImage) {
            err(QStringLiteral("The spacer's image is gone; give --upload IMAGE or a design"));
            return kExitFailed;
        }
        iconImage = *configuration.sourceUploadImage;
    } else {
        const bool wasTahoeAware =
            configuration.generatedIconConfig && configuration.generatedIconConfig->tahoeAware.value_or(false);
        const CustomSpaceGeneratedIconConfig base =
            configuration.generatedIconConfig.value_or(CustomSpaceEditorChoices().config());
        const DesignResult chosen = designFrom(parser, design, base);
        if (!chosen.config)
            return usage(chosen.error);
        CustomSpaceGeneratedIconConfig config = *chosen.config;
        const bool tahoe = isTahoe(SystemPaths::systemMajorVersion());
        config.tahoeAware = tahoe;
        printTahoeNotes(&config, stored && stored->iconMode == CustomSpaceIconMode::Create && !wasTahoeAware);
        configuration.iconMode = CustomSpaceIconMode::Create;
        configuration.generatedIconConfig = config;
        configuration.sourceUploadImage.reset();
        iconImage = renderCustomSpaceIcon(config, tahoe).image;
    }
    const CustomSpaceResult result = service.update(configuration, iconImage);
    if (result.error)
        return spacerFailed(*result.error);
    out(*result.bundlePath);
    return kExitOk;
}

int runShow(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows how a custom spacer was made."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print JSON."));
    parser.addOption(json);
    parser.addPositionalArgument(QStringLiteral("SPACER"), QStringLiteral("A spacer's name, path or Dock URL."));
    if (auto exit = parse(parser, QStringLiteral("spacer show"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("spacer show takes one SPACER"));
    const QString spacer = parser.positionalArguments().first();
    const auto bundle = resolveSpacer(spacer);
    if (!bundle || !QFileInfo(*bundle).isDir())
        return invalidSpacer(spacer);
    const QString path = QDir(*bundle).filePath(QStringLiteral("Contents/Resources/") + kCustomSpaceMetadataFileName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        return kExitFailed;
    }
    const auto decoded = CustomSpaceMetadata::fromJson(file.readAll());
    if (!decoded.metadata) {
        err(QStringLiteral("Cannot read %1: %2").arg(path, decoded.error));
        return kExitFailed;
    }
    QJsonObject answer = QJsonDocument::fromJson(decoded.metadata->toJson()).object();
    answer.insert(QStringLiteral("appURL"), appUrl(*bundle));
    if (parser.isSet(json)) {
        outJson(answer);
        return kExitOk;
    }
    out(QStringLiteral("name: %1").arg(decoded.metadata->name));
    out(QStringLiteral("icon mode: %1").arg(iconModeName(decoded.metadata->iconMode)));
    out(QStringLiteral("path: %1").arg(*bundle));
    if (decoded.metadata->generatedIconConfig)
        outRaw(QJsonDocument(toJson(*decoded.metadata->generatedIconConfig)).toJson(QJsonDocument::Indented));
    return kExitOk;
}

int runDelete(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Removes a custom spacer app."));
    parser.addPositionalArgument(QStringLiteral("SPACER"), QStringLiteral("A spacer's name, path or Dock URL."));
    if (auto exit = parse(parser, QStringLiteral("spacer delete"), kUsage, args))
        return *exit;
    if (parser.positionalArguments().size() != 1)
        return usage(QStringLiteral("spacer delete takes one SPACER"));
    const QString spacer = parser.positionalArguments().first();
    const auto bundle = resolveSpacer(spacer);
    if (!bundle)
        return invalidSpacer(spacer);
    if (const auto failed = CustomSpaceService().deleteSpace(*bundle)) {
        if (failed->description == CustomSpaceError::invalidPath().description)
            return invalidSpacer(spacer);
        return spacerFailed(*failed);
    }
    return kExitOk;
}

} // namespace

int runSpacerCommand(const QStringList& args) {
    if (args.isEmpty() || isHelp(args.first())) {
        printUsage(kUsage, QStringLiteral("Makes, changes, lists and removes custom spacer apps; draws their icons."));
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    const QString sub = args.first();
    const QStringList rest = args.mid(1);
    if (sub == QLatin1String("list"))
        return runList(rest);
    if (sub == QLatin1String("create"))
        return runCreate(rest);
    if (sub == QLatin1String("update"))
        return runUpdate(rest);
    if (sub == QLatin1String("show"))
        return runShow(rest);
    if (sub == QLatin1String("delete"))
        return runDelete(rest);
    if (sub == QLatin1String("render"))
        return runRender(rest);
    if (sub == QLatin1String("check-name"))
        return runCheckName(rest);
    return usage(QStringLiteral("Unknown spacer command: %1").arg(sub));
}

} // namespace pierline::cli
