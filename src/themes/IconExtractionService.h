#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <stdexcept>

namespace pierline {

// One app's icon as the archive holds it.
struct AppIcon {
    QString appName; // the file name without its extension
    QString appPath;
    QByteArray iconData; // PNG bytes
};

// Why no archive could be made; what() is the description.
class IconExtractionError : public std::runtime_error {
public:
    enum class Code {
        invalidAppPath,
        noIconFound,
        iconConversionFailed,
        zipCreationFailed,
        temporaryDirectoryCreationFailed
    };
    explicit IconExtractionError(Code code);
    Code code() const { return code_; }
    QString description() const { return QString::fromUtf8(what()); }
    static QString descriptionOf(Code code);

private:
    Code code_;
};

// Turns a preset's app list into a ZIP of PNG icons, one `<appName>.png` per app, for the sharing
// service.
class IconExtractionService {
public:
    static constexpr double kLookupTimeoutSeconds = 0.5;

    // The icon of an app file as PNG bytes (or any image the archive then encodes once). Runs on a
    // background queue and may be abandoned when it takes too long.
    using IconLookup = std::function<QByteArray(const QString& path)>;

    // Desktop files count as apps when the dock's entries are desktop files; bundles always do.
    explicit IconExtractionService(bool acceptsDesktopFiles = false, IconLookup lookup = {},
                                   double timeoutSeconds = kLookupTimeoutSeconds);

    // The archive of every app in `appsJSON` (a JSON array of app entries) that has an icon; an
    // absent or undecodable list gives an archive of no icons. Throws IconExtractionError.
    QString extractIcons(const std::optional<QString>& appsJSON) const;
    // nullopt for an entry that names no app on disk or whose icon cannot be had as a PNG.
    std::optional<AppIcon> extractIcon(const QString& appURL) const;
    // "preset_icons_<UUID>.zip" in the temporary directory, mode 0600, entries stored flat; a later
    // icon of a name replaces an earlier one. Throws IconExtractionError.
    static QString createZip(const QList<AppIcon>& icons);

    // What the desktop shows for a file: a bundle's icon, or a desktop file's Icon= (a path or a
    // name in the icon theme), as PNG bytes; the generic application icon when it has none.
    static QByteArray fileIcon(const QString& path);

private:
    bool acceptsDesktopFiles_;
    IconLookup lookup_;
    double timeoutSeconds_;
};

// An image file as PNG bytes: a PNG as it is, an SVG drawn at 512 pixels, anything else Qt reads
// encoded once. Empty when the file cannot be read as an image.
QByteArray imageFileAsPng(const QString& path);

} // namespace pierline
