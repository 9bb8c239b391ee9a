#include "CustomSpaceService.h"

#include "CustomSpaceIconRenderer.h"
#include "CustomSpaceNames.h"
#include "core/CustomSpaceLocation.h"
#include "platform/AtomicFile.h"
#include "platform/FolderSwap.h"
#include "platform/Icns.h"
#include "platform/Log.h"
#include "platform/ShellRunner.h"
#include "platform/SystemPaths.h"
#include "platform/TemporaryFolder.h"
#include "platform/Workspace.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QUuid>
#include <future>

namespace pierline {
namespace {

const auto kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                         QFile::ReadOther | QFile::ExeOther;

QString xmlEscaped(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&apos;"));
}

std::optional<QByteArray> pngData(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::nullopt;
    return png;
}

std::optional<CustomSpaceError> writeFile(const QString& path, const QByteArray& bytes,
                                          std::optional<QFileDevice::Permissions> permissions = std::nullopt) {
    if (const auto failed = replaceFileAtomically(path, bytes, permissions))
        return CustomSpaceError::fileSystem(*failed);
    return std::nullopt;
}

std::optional<CustomSpaceError> makeFolder(const QString& path) {
    if (QDir().mkpath(path))
        return std::nullopt;
    return CustomSpaceError::fileSystem(QStringLiteral("Could not create the folder %1").arg(path));
}

// A tree of ours is gone, or a warning says what stayed.
void removeTree(const QString& path) {
    if (QFileInfo(path).isSymLink() ? !QFile::remove(path) : !QDir(path).removeRecursively())
        printWarning(QStringLiteral("CustomSpaceService: Could not remove %1").arg(path));
}

QString temporarySibling() {
    return QDir(SystemPaths::customSpacesFolder())
        .filePath(QStringLiteral(".tmp-") + QUuid::createUuid().toString(QUuid::WithoutBraces) +
                  QStringLiteral(".app"));
}

bool existsAt(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

CustomSpaceError CustomSpaceError::alreadyExists(const QString& name) {
    return {QStringLiteral("A custom space named '%1' already exists.").arg(name)};
}
CustomSpaceError CustomSpaceError::compilationFailed(const QString& details) {
    return {QStringLiteral("Failed to compile stub executable. Make sure Xcode Command Line Tools are installed. %1")
                .arg(details)};
}
CustomSpaceError CustomSpaceError::iconGenerationFailed(const QString& details) {
    return {QStringLiteral("Failed to generate app icon: %1").arg(details)};
}
CustomSpaceError CustomSpaceError::invalidName(const QString& details) {
    return {QStringLiteral("Invalid name: %1").arg(details)};
}
CustomSpaceError CustomSpaceError::invalidPath() {
    return {QStringLiteral("Invalid custom space path.")};
}

QByteArray CustomSpaceMetadata::toJson() const {
    QJsonObject object = {{QStringLiteral("schemaVersion"), schemaVersion},
                          {QStringLiteral("name"), name},
                          {QStringLiteral("iconMode"), iconModeName(iconMode)}};
    if (generatedIconConfig)
        object.insert(QStringLiteral("generatedIconConfig"), pierline::toJson(*generatedIconConfig));
    if (sourceIconFileName)
        object.insert(QStringLiteral("sourceIconFileName"), *sourceIconFileName);
    return QJsonDocument(object).toJson(QJsonDocument::Indented); // QJsonObject keeps its keys sorted
}

CustomSpaceMetadata::Decoded CustomSpaceMetadata::fromJson(const QByteArray& bytes) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {std::nullopt, QStringLiteral("not JSON: %1").arg(parseError.errorString())};
    if (!document.isObject())
        return {std::nullopt, QStringLiteral("not a JSON object")};
    const QJsonObject object = document.object();
    CustomSpaceMetadata metadata;
    const QJsonValue version = object.value(QStringLiteral("schemaVersion"));
    if (!version.isDouble() || version.toDouble() != double(version.toInt()))
        return {std::nullopt, QStringLiteral("\"schemaVersion\" must be an integer")};
    metadata.schemaVersion = version.toInt();
    const QJsonValue name = object.value(QStringLiteral("name"));
    if (!name.isString())
        return {std::nullopt, QStringLiteral("\"name\" must be a string")};
    metadata.name = name.toString();
    const auto mode = iconModeFromName(object.value(QStringLiteral("iconMode")).toString());
    if (!mode)
        return {std::nullopt, QStringLiteral("\"iconMode\" must be \"upload\" or \"create\"")};
    metadata.iconMode = *mode;
    const QJsonValue config = object.value(QStringLiteral("generatedIconConfig"));
    if (!config.isUndefined() && !config.isNull()) {
        if (!config.isObject())
            return {std::nullopt, QStringLiteral("\"generatedIconConfig\" must be an object")};
        IconConfigDecodeResult decoded = iconConfigFromJson(config.toObject());
        if (!decoded.config)
            return {std::nullopt, QStringLiteral("generatedIconConfig: %1").arg(decoded.error)};
        metadata.generatedIconConfig = decoded.config;
    }
    const QJsonValue source = object.value(QStringLiteral("sourceIconFileName"));
    if (!source.isUndefined() && !source.isNull()) {
        if (!source.isString())
            return {std::nullopt, QStringLiteral("\"sourceIconFileName\" must be a string")};
        metadata.sourceIconFileName = source.toString();
    }
    return {metadata, {}};
}

QByteArray customSpaceInfoPlist(const QString& name) {
    const QString identifier = xmlEscaped(QStringLiteral("com.pierline.customspace.") + name.toLower());
    return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
    <key>CFBundleExecutable</key>
    <string>stub</string>
    <key>CFBundleIdentifier</key>
    <string>%1</string>
    <key>CFBundleName</key>
    <string>stub</string>
    <key>CFBundleIconFile</key>
    <string>AppIcon</string>
    <key>CFBundlePackageType</key>
    <string>APPL</string>
    <key>CFBundleInfoDictionaryVersion</key>
    <string>6.0</string>
    <key>CFBundleVersion</key>
    <string>1.0</string>
    <key>LSMinimumSystemVersion</key>
    <string>10.13</string>
    <key>LSUIElement</key>
    <true/>
</dict>
</plist>
)")
        .arg(identifier)
        .toUtf8();
}

QString shellQuoted(const QString& path) {
    return QLatin1Char('\'') + QString(path).replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
}

QString CustomSpaceService::sanitize(const QString& name) {
    return sanitizeCustomSpaceName(name);
}

bool CustomSpaceService::isNameAvailable(const QString& name, const QString& editedBundlePath) const {
    return isCustomSpaceNameAvailable(name, editedBundlePath);
}

std::optional<QString> CustomSpaceService::customSpaceURL(const QString& dockURLString) const {
    return customSpaceBundleForLocation(dockURLString);
}

QList<CustomSpaceInfo> CustomSpaceService::listCustomSpaces() const {
    QList<CustomSpaceInfo> spaces;
    const QDir folder(SystemPaths::customSpacesFolder());
    // Hidden ".tmp-…" siblings are builds in progress, not spacers.
    for (const QString& entry :
         folder.entryList({QStringLiteral("*.app")}, QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = folder.filePath(entry);
        spaces.append({path, entry.chopped(4), Workspace::shared().iconData(path)});
    }
    return spaces;
}

QString CustomSpaceService::runCommand(const QString& command) const {
    ShellOptions options;
    options.timeLimit = commandTimeLimit_;
    options.trimmed = false;
    options.timedOutLine = QStringLiteral("CustomSpaceService: Shell command timed out: ");
    options.launchFailedLine = QStringLiteral("CustomSpaceService: Error launching shell command: ");
    return ShellRunner::shared().runForResult(command, options).output;
}

void CustomSpaceService::refresh(const QString& bundle) const {
    // The Dock and Finder look again at a bundle whose date changed; the outputs tell nothing.
    const QString quoted = shellQuoted(bundle);
    runCommand(QStringLiteral("touch ") + quoted);
    runCommand(QStringLiteral("xattr -cr ") + quoted);
    runCommand(QStringLiteral("touch ") + quoted);
}

std::optional<CustomSpaceError> CustomSpaceService::buildBundle(const QString& bundle, const QString& name,
                                                                const CustomSpaceMetadata& metadata,
                                                                const QImage& iconImage,
                                                                const std::optional<QImage>& uploadImage) const {
    // Private to this user and build; it goes when this function returns, failed or not.
    TemporaryFolder work(QStringLiteral("pierline-spacer"));
    if (!work.isValid())
        return CustomSpaceError::fileSystem(work.error());

    // The ten icon sizes are scaled and encoded while the compiler runs; neither needs the other.
    std::future<std::optional<QList<QByteArray>>> iconsetPngs = std::async(std::launch::async, [&iconImage] {
        QList<QByteArray> pngs;
        for (const icns::IconsetImage& image : icns::iconsetImages()) {
            auto png = scaledPng(iconImage, image.pixels);
            if (!png)
                return std::optional<QList<QByteArray>>();
            pngs.append(*png);
        }
        return std::optional<QList<QByteArray>>(pngs);
    });

    const QString stub = work.filePath(QStringLiteral("stub"));
    const QString compile = QStringLiteral("echo 'int main(){return 0;}' | %1 -x c++ -o %2 -")
                                .arg(shellQuoted(SystemPaths::compilerPath()), shellQuoted(stub));
    const QString compileOutput = runCommand(compile);
    if (!QFileInfo(stub).isFile())
        return CustomSpaceError::compilationFailed(compileOutput);

    const QString contents = QDir(bundle).filePath(QStringLiteral("Contents"));
    const QString macos = contents + QStringLiteral("/MacOS");
    const QString resources = contents + QStringLiteral("/Resources");
    for (const QString& folder : {macos, resources})
        if (auto failed = makeFolder(folder))
            return failed;
    QFile stubFile(stub);
    if (!stubFile.open(QIODevice::ReadOnly))
        return CustomSpaceError::fileSystem(QStringLiteral("Could not read %1: %2").arg(stub, stubFile.errorString()));
    const QString bundleStub = macos + QStringLiteral("/stub");
    if (auto failed = writeFile(bundleStub, stubFile.readAll(), kExecutable))
        return failed;
    runCommand(QStringLiteral("chmod +x ") + shellQuoted(bundleStub));

    if (auto failed = writeFile(contents + QStringLiteral("/Info.plist"), customSpaceInfoPlist(name)))
        return failed;

    const QString iconset = work.filePath(QStringLiteral("AppIcon.iconset"));
    if (auto failed = makeFolder(iconset))
        return failed;
    const std::optional<QList<QByteArray>> pngs = iconsetPngs.get();
    if (!pngs)
        return CustomSpaceError::iconGenerationFailed(QStringLiteral("Failed to create PNG data"));
    for (qsizetype k = 0; k < pngs->size(); ++k)
        if (auto failed = writeFile(QDir(iconset).filePath(icns::iconsetImages()[k].fileName), (*pngs)[k]))
            return failed;
    const QString icns = resources + QStringLiteral("/AppIcon.icns");
    const QString iconutilOutput = runCommand(QStringLiteral("%1 --convert icns %2 --output %3")
                                                  .arg(shellQuoted(SystemPaths::toolPath(QStringLiteral("iconutil"))),
                                                       shellQuoted(iconset), shellQuoted(icns)));
    if (!QFileInfo(icns).isFile())
        return CustomSpaceError::iconGenerationFailed(QStringLiteral("iconutil failed: ") + iconutilOutput);

    CustomSpaceMetadata stored = metadata;
    stored.name = name;
    stored.sourceIconFileName.reset();
    if (stored.iconMode == CustomSpaceIconMode::Upload && uploadImage) {
        const auto png = pngData(*uploadImage);
        if (!png)
            return CustomSpaceError::iconGenerationFailed(QStringLiteral("Failed to create PNG data"));
        if (auto failed = writeFile(QDir(resources).filePath(kCustomSpaceUploadedSourceIconFileName), *png))
            return failed;
        stored.sourceIconFileName = kCustomSpaceUploadedSourceIconFileName;
    }
    if (auto failed = writeFile(QDir(resources).filePath(kCustomSpaceMetadataFileName), stored.toJson()))
        return failed;
    if (!work.remove())
        return CustomSpaceError::fileSystem(QStringLiteral("Could not remove the working folder %1").arg(work.path()));
    return std::nullopt;
}

CustomSpaceResult CustomSpaceService::create(const QString& rawName, CustomSpaceIconMode mode,
                                             const std::optional<CustomSpaceGeneratedIconConfig>& config,
                                             const QImage& iconImage, const std::optional<QImage>& uploadImage) const {
    const QString name = sanitize(rawName);
    if (name.isEmpty())
        return {std::nullopt,
                CustomSpaceError::invalidName(QStringLiteral("Name cannot be empty after sanitization."))};
    const QString target = customSpaceBundleFor(name);
    if (existsAt(target))
        return {std::nullopt, CustomSpaceError::alreadyExists(name)};
    if (auto failed = makeFolder(SystemPaths::customSpacesFolder()))
        return {std::nullopt, failed};

    CustomSpaceMetadata metadata;
    metadata.name = name;
    metadata.iconMode = mode;
    if (mode == CustomSpaceIconMode::Create)
        metadata.generatedIconConfig = config;
    // Built beside the target and moved in whole, so a failure or a crash leaves no half bundle.
    const QString sibling = temporarySibling();
    if (auto failed = buildBundle(sibling, name, metadata, iconImage, uploadImage)) {
        removeTree(sibling);
        return {std::nullopt, failed};
    }
    if (auto failed = moveWithoutReplacing(sibling, target)) {
        removeTree(sibling);
        return {std::nullopt, failed->targetExists ? CustomSpaceError::alreadyExists(name)
                                                   : CustomSpaceError::fileSystem(failed->message)};
    }
    refresh(target);
    return {target, std::nullopt};
}

CustomSpaceResult CustomSpaceService::update(const CustomSpaceEditableConfiguration& configuration,
                                             const QImage& iconImage) const {
    const auto old = customSpaceBundlePath(configuration.bundlePath);
    if (!old || !QFileInfo(*old).isDir())
        return {std::nullopt, CustomSpaceError::invalidPath()};
    const QString name = sanitize(configuration.name);
    if (name.isEmpty())
        return {std::nullopt,
                CustomSpaceError::invalidName(QStringLiteral("Name cannot be empty after sanitization."))};
    const QString target = customSpaceBundleFor(name);
    if (existsAt(target) && target != *old)
        return {std::nullopt, CustomSpaceError::alreadyExists(name)};

    CustomSpaceMetadata metadata;
    metadata.name = name;
    metadata.iconMode = configuration.iconMode;
    if (configuration.iconMode == CustomSpaceIconMode::Create)
        metadata.generatedIconConfig = configuration.generatedIconConfig;
    const std::optional<QImage> upload =
        configuration.iconMode == CustomSpaceIconMode::Upload ? configuration.sourceUploadImage : std::nullopt;
    const QString sibling = temporarySibling();
    if (auto failed = buildBundle(sibling, name, metadata, iconImage, upload)) {
        removeTree(sibling);
        return {std::nullopt, failed};
    }
    if (target == *old) {
        // One step: the new tree takes the name, the old one takes the sibling's, then goes.
        if (auto failed = exchangePaths(sibling, target)) {
            removeTree(sibling);
            return {std::nullopt, CustomSpaceError::fileSystem(failed->message)};
        }
        removeTree(sibling);
    } else {
        if (auto failed = moveWithoutReplacing(sibling, target)) {
            removeTree(sibling);
            return {std::nullopt, failed->targetExists ? CustomSpaceError::alreadyExists(name)
                                                       : CustomSpaceError::fileSystem(failed->message)};
        }
        removeTree(*old);
    }
    refresh(target);
    return {target, std::nullopt};
}

std::optional<CustomSpaceEditableConfiguration>
CustomSpaceService::loadEditableConfiguration(const QString& bundlePath) const {
    const auto bundle = customSpaceBundlePath(bundlePath);
    if (!bundle)
        return std::nullopt;
    const QString resources = QDir(*bundle).filePath(QStringLiteral("Contents/Resources"));
    QFile file(QDir(resources).filePath(kCustomSpaceMetadataFileName));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto decoded = CustomSpaceMetadata::fromJson(file.readAll());
    if (!decoded.metadata)
        return std::nullopt;
    CustomSpaceEditableConfiguration configuration;
    configuration.bundlePath = *bundle;
    configuration.name = decoded.metadata->name;
    configuration.iconMode = decoded.metadata->iconMode;
    if (configuration.iconMode == CustomSpaceIconMode::Create) {
        configuration.generatedIconConfig = decoded.metadata->generatedIconConfig;
        return configuration;
    }
    const std::optional<QString>& source = decoded.metadata->sourceIconFileName;
    // Only a file of the bundle's own Resources.
    if (source && !source->isEmpty() && !source->contains(QLatin1Char('/')) && *source != QLatin1String("..")) {
        const QImage image(QDir(resources).filePath(*source));
        if (!image.isNull())
            configuration.sourceUploadImage = image;
    }
    if (!configuration.sourceUploadImage) {
        const QImage icon = QImage::fromData(Workspace::shared().iconData(*bundle), "PNG");
        if (!icon.isNull())
            configuration.sourceUploadImage = icon;
    }
    return configuration;
}

std::optional<CustomSpaceError> CustomSpaceService::deleteSpace(const QString& bundlePath) const {
    const auto bundle = customSpaceBundlePath(bundlePath);
    if (!bundle || !QFileInfo(*bundle).isDir())
        return CustomSpaceError::invalidPath();
    if (!QDir(*bundle).removeRecursively())
        return CustomSpaceError::fileSystem(QStringLiteral("Could not remove %1").arg(*bundle));
    return std::nullopt;
}

std::optional<CustomSpaceError> CustomSpaceService::deleteSpaceForDockURL(const QString& dockURLString) const {
    const auto bundle = customSpaceURL(dockURLString);
    if (!bundle)
        return CustomSpaceError::invalidPath();
    return deleteSpace(*bundle);
}

} // namespace pierline
