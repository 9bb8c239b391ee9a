#include "Url.h"

#include "Utf8.h"
#include <QDir>

namespace pierline {

std::optional<QUrl> parseUrl(const QString& text) {
    if (text.trimmed().isEmpty())
        return std::nullopt;
    QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

namespace {
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

std::optional<QString> percentDecoded(const QString& text) {
    const QByteArray raw = text.toUtf8();
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != '%') {
            out.append(raw[i]);
            continue;
        }
        if (i + 2 >= raw.size())
            return std::nullopt;
        const int hi = hexValue(raw[i + 1]);
        const int lo = hexValue(raw[i + 2]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out.append(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return decodeUtf8(out);
}

QString percentDecodedOr(const QString& text) {
    return percentDecoded(text).value_or(text);
}

QString encodedPath(const QUrl& url) {
    return url.path(QUrl::FullyEncoded);
}

QString decodedPath(const QUrl& url) {
    return percentDecodedOr(encodedPath(url));
}

QString withoutTrailingSlashes(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p;
}

std::optional<QString> filePathOfLocation(const QString& location) {
    QString path;
    if (location.startsWith(QLatin1Char('/'))) {
        // A plain path made by hand or imported: its characters are literal, not URL syntax.
        path = location;
    } else {
        const auto url = parseUrl(location);
        if (!url)
            return std::nullopt;
        path = decodedPath(*url);
    }
    path = withoutTrailingSlashes(path);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

QUrl fileUrlFromPath(const QString& path, bool isDirectory) {
    QString p = path;
    if (isDirectory && !p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    return QUrl::fromLocalFile(p);
}

QUrl standardized(const QUrl& url) {
    return url.adjusted(QUrl::NormalizePathSegments);
}

QString lastPathComponent(const QString& path) {
    const QString p = withoutTrailingSlashes(path);
    if (p == QLatin1String("/"))
        return p;
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? p : p.mid(slash + 1);
}

QString deletingLastPathComponent(const QString& path) {
    const QString p = withoutTrailingSlashes(path);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    if (slash == 0)
        return QStringLiteral("/");
    return p.left(slash);
}

} // namespace pierline
