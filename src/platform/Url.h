#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace pierline {

// Parses text the way the program parses app entries and item locations: an absolute URL
// ("file:///...", "https://...") or a plain path. Empty or malformed text gives nullopt.
std::optional<QUrl> parseUrl(const QString& text);

// Percent-decoding that fails on a malformed escape or bytes that are not UTF-8.
std::optional<QString> percentDecoded(const QString& text);
QString percentDecodedOr(const QString& text); // falls back to the text itself

// The URL's path still percent-encoded, and decoded (raw path when decoding fails).
QString encodedPath(const QUrl& url);
QString decodedPath(const QUrl& url);

// The path without trailing "/" (the root stays "/").
QString withoutTrailingSlashes(const QString& path);
// The file-system path an app entry or item location stands for. A plain absolute path is taken
// as it is ("#", "?" and "%" are part of the name); a URL gives its percent-decoded path (the raw
// path when decoding fails). Trailing slashes are dropped. nullopt when the text does not parse or
// names no path.
std::optional<QString> filePathOfLocation(const QString& location);

QUrl fileUrlFromPath(const QString& path, bool isDirectory = false);
QUrl standardized(const QUrl& url);
QString lastPathComponent(const QString& path);
QString deletingLastPathComponent(const QString& path);

} // namespace pierline
