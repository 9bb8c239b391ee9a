#include "IconExtractionService.h"

#include "platform/AtomicFile.h"
#include "platform/Clock.h"
#include "platform/DesktopEntry.h"
#include "platform/Dispatch.h"
#include "platform/Icns.h"
#include "platform/IconTheme.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "platform/UuidText.h"
#include "platform/Workspace.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QUuid>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <zip.h>

namespace pierline {
namespace {

const Logger& log() {
    static const Logger logger(QStringLiteral("IconExtractionService"));
    return logger;
}

constexpr int kSvgPixels = 512;
// Far above any real icon file; a bigger one is not read into memory.
constexpr qint64 kImageFileLimit = 64 * 1024 * 1024;

QByteArray pngOf(const QImage& image) {
    QByteArray png;
    QBuffer buffer(&png);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return png;
}

// What a lookup left for the waiting caller; the lookup keeps it alive when it is abandoned.
struct PendingIcon {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<QByteArray> bytes;
};

// The one ZIP that holds no entry: its end-of-central-directory record alone. libzip writes no
// file for an empty archive.
QByteArray emptyZip() {
    return QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0');
}

// The archive's bytes, entries stored as they are; nullopt with `error` set on failure.
std::optional<QByteArray> zipBytes(const QMap<QString, QByteArray>& entries, QString* error) {
    if (entries.isEmpty())
        return emptyZip();
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &zipError);
    if (!target) {
        *error = QString::fromUtf8(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        return std::nullopt;
    }
    // Our own reference, so the bytes can be read back after zip_close.
    zip_source_keep(target);
    const auto fail = [&](const char* text) {
        *error = QString::fromUtf8(text);
        zip_source_free(target);
        return std::nullopt;
    };
    zip_t* archive = zip_open_from_source(target, ZIP_TRUNCATE, &zipError);
    if (!archive) {
        *error = QString::fromUtf8(zip_error_strerror(&zipError));
        zip_error_fini(&zipError);
        zip_source_free(target); // the reference the archive did not take
        zip_source_free(target);
        return std::nullopt;
    }
    zip_error_fini(&zipError);
    // Drops the archive (and its reference to the target), then ours.
    const auto discard = [&] {
        *error = QString::fromUtf8(zip_strerror(archive));
        zip_discard(archive);
        zip_source_free(target);
        return std::nullopt;
    };
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        // The bytes stay in `entries` until zip_close has read them.
        zip_source_t* data = zip_source_buffer(archive, it.value().constData(), zip_uint64_t(it.value().size()), 0);
        const QByteArray name = it.key().toUtf8();
        const zip_int64_t index = data ? zip_file_add(archive, name.constData(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (data)
                zip_source_free(data);
            return discard();
        }
        if (zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0)
            return discard();
    }
    if (zip_close(archive) != 0)
        return discard();
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_stat(target, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || zip_source_open(target) != 0)
        return fail("the written archive cannot be read back");
    QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_source_read(target, bytes.data(), stat.size);
    zip_source_close(target);
    if (read != zip_int64_t(stat.size))
        return fail("the written archive cannot be read back");
    zip_source_free(target);
    return bytes;
}

// A desktop file's Icon=: an absolute path is that file, a name is looked up in the icon theme.
QByteArray desktopFileIcon(const QString& path) {
    QString error;
    const std::optional<DesktopEntry> entry = DesktopEntry::load(path, &error);
    QString icon = entry ? entry->value(QStringLiteral("Icon")).value_or(QString()).trimmed() : QString();
    if (!entry)
        log().info(QStringLiteral("No icon in %1: %2").arg(path, error));
    QString file;
    if (QDir::isAbsolutePath(icon)) {
        file = icon;
    } else if (!icon.isEmpty()) {
        // Some files name the image with its extension, which the theme's files carry anyway.
        for (const char* suffix : {".png", ".svg", ".xpm"})
            if (icon.endsWith(QLatin1String(suffix)))
                icon.chop(4);
        file = findThemeIcon(icon, systemIconThemeSearch()).value_or(QString());
    }
    const QByteArray png = file.isEmpty() ? QByteArray() : imageFileAsPng(file);
    return png.isEmpty() ? Workspace::genericApplicationIcon() : png;
}

} // namespace

IconExtractionError::IconExtractionError(Code code)
    : std::runtime_error(descriptionOf(code).toStdString()), code_(code) {}

QString IconExtractionError::descriptionOf(Code code) {
    switch (code) {
    case Code::invalidAppPath:
        return QStringLiteral("Invalid application path");
    case Code::noIconFound:
        return QStringLiteral("No icon found for application");
    case Code::iconConversionFailed:
        return QStringLiteral("Failed to convert icon to PNG format");
    case Code::zipCreationFailed:
        return QStringLiteral("Failed to create ZIP file");
    case Code::temporaryDirectoryCreationFailed:
        return QStringLiteral("Failed to create temporary directory");
    }
    return {};
}

QByteArray imageFileAsPng(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kImageFileLimit)
        return {};
    const QByteArray bytes = file.readAll();
    if (icns::pngSize(bytes))
        return bytes; // already what the archive holds
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QFileInfo(path).suffix().toLower().toLatin1());
    reader.setDecideFormatFromContent(true);
    if (reader.format() == "svg" || reader.format() == "svgz")
        reader.setScaledSize(QSize(kSvgPixels, kSvgPixels));
    const QImage image = reader.read();
    if (image.isNull())
        log().info(QStringLiteral("%1 cannot be read as an image: %2").arg(path, reader.errorString()));
    return pngOf(image);
}

QByteArray IconExtractionService::fileIcon(const QString& path) {
    if (isDesktopFilePath(path))
        return desktopFileIcon(path);
    return Workspace::shared().iconData(path);
}

IconExtractionService::IconExtractionService(bool acceptsDesktopFiles, IconLookup lookup, double timeoutSeconds)
    : acceptsDesktopFiles_(acceptsDesktopFiles), lookup_(lookup ? std::move(lookup) : IconLookup(&fileIcon)),
      timeoutSeconds_(timeoutSeconds) {}

std::optional<AppIcon> IconExtractionService::extractIcon(const QString& appURL) const {
    QString path = appURL;
    if (appURL.startsWith(QLatin1String("file://"))) {
        const QUrl url(appURL, QUrl::StrictMode);
        if (!url.isValid())
            return std::nullopt;
        const std::optional<QString> decoded = percentDecoded(encodedPath(url));
        if (!decoded)
            return std::nullopt;
        path = *decoded;
    }
    path = withoutTrailingSlashes(path);
    const bool isApp =
        path.endsWith(QLatin1String(".app")) || (acceptsDesktopFiles_ && path.endsWith(QLatin1String(".desktop")));
    if (path.isEmpty() || !isApp || !QFileInfo::exists(path))
        return std::nullopt;
    const QString appName = QFileInfo(path).completeBaseName();

    // The lookup may hang on a slow disk or share; after the limit it is left to finish unread.
    Clock& clock = Clock::shared();
    const double start = clock.monotonicSeconds();
    auto pending = std::make_shared<PendingIcon>();
    (void)runAsync(QueuePriority::Utility, [pending, lookup = lookup_, path] {
        QByteArray bytes;
        try {
            bytes = lookup(path);
        } catch (const std::exception& error) {
            log().error(QStringLiteral("Icon lookup failed for %1: %2").arg(path, QString::fromUtf8(error.what())));
        }
        const std::lock_guard lock(pending->mutex);
        pending->bytes = std::move(bytes);
        pending->done.notify_all();
    });
    QByteArray icon;
    bool answered = false;
    {
        std::unique_lock lock(pending->mutex);
        while (!pending->bytes) {
            const double left = timeoutSeconds_ - (clock.monotonicSeconds() - start);
            // A microsecond short of the limit is the limit: sums of seconds are not exact.
            if (left <= 1e-6)
                break;
            // Short waits, so a clock that is not the wall clock is read again soon.
            pending->done.wait_for(lock, std::chrono::duration<double>(std::min(left, 0.01)));
        }
        answered = pending->bytes.has_value();
        if (answered)
            icon = *pending->bytes;
    }
    if (!answered) {
        printLine(QStringLiteral("Icon extraction timed out for %1").arg(path));
        icon = Workspace::genericApplicationIcon();
    }
    // PNG bytes go in as they are; any other image is encoded once.
    if (!icns::pngSize(icon)) {
        QImage image;
        if (!image.loadFromData(icon))
            return std::nullopt;
        icon = pngOf(image);
        if (icon.isEmpty())
            return std::nullopt;
    }
    return AppIcon{appName, path, icon};
}

QString IconExtractionService::extractIcons(const std::optional<QString>& appsJSON) const {
    QList<AppIcon> icons;
    const QJsonDocument document = appsJSON ? QJsonDocument::fromJson(appsJSON->toUtf8()) : QJsonDocument();
    if (document.isArray()) {
        for (const QJsonValue& entry : document.array())
            if (entry.isString())
                if (auto icon = extractIcon(entry.toString()))
                    icons.append(std::move(*icon));
    } else if (appsJSON) {
        log().info(QStringLiteral("The app list is not a JSON array; the archive holds no icons"));
    }
    return createZip(icons);
}

QString IconExtractionService::createZip(const QList<AppIcon>& icons) {
    const QString folder = SystemPaths::temporaryDirectory();
    if (!QDir().mkpath(folder)) {
        log().error(QStringLiteral("Cannot make %1").arg(folder));
        throw IconExtractionError(IconExtractionError::Code::temporaryDirectoryCreationFailed);
    }
    QMap<QString, QByteArray> entries;
    for (const AppIcon& icon : icons) {
        // A name that is no file name inside the archive is left out.
        if (icon.appName.isEmpty() || icon.appName == QLatin1String(".") || icon.appName == QLatin1String("..") ||
            icon.appName.contains(QLatin1Char('/')))
            continue;
        entries.insert(icon.appName + QStringLiteral(".png"), icon.iconData);
    }
    QString error;
    const std::optional<QByteArray> bytes = zipBytes(entries, &error);
    if (!bytes) {
        log().error(QStringLiteral("Cannot build the icon archive: %1").arg(error));
        throw IconExtractionError(IconExtractionError::Code::zipCreationFailed);
    }
    const QString path =
        QDir(folder).filePath(QStringLiteral("preset_icons_%1.zip").arg(uuidText(QUuid::createUuid())));
    if (const auto failure = replaceFileAtomically(path, *bytes, QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        log().error(*failure);
        throw IconExtractionError(IconExtractionError::Code::zipCreationFailed);
    }
    return path;
}

} // namespace pierline
