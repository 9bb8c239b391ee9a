#pragma once

#include <QMap>
#include <QString>

namespace pierline {

// Rewrites home-folder paths so a backup travels between users: on export every
// "/Users/<name>/" (and, on Linux, "/home/<name>/") becomes ".../USERNAME/", on import the
// placeholder becomes the current login name. Each separator may be a plain "/" or the
// JSON-escaped "\/", so plain paths, file URLs and JSON texts with escaped slashes all work; each
// separator is written back as it was found.
QString sanitizePath(const QString& text);
QString restorePath(const QString& text, const QString& userName);
QString restorePath(const QString& text); // for the login name of this user

// The same on the keys of a map; when two keys become one, the later key in the map's order wins.
template <class Value> QMap<QString, Value> sanitizeKeys(const QMap<QString, Value>& map) {
    QMap<QString, Value> result;
    for (auto it = map.begin(); it != map.end(); ++it)
        result.insert(sanitizePath(it.key()), it.value());
    return result;
}
template <class Value> QMap<QString, Value> restoreKeys(const QMap<QString, Value>& map, const QString& userName) {
    QMap<QString, Value> result;
    for (auto it = map.begin(); it != map.end(); ++it)
        result.insert(restorePath(it.key(), userName), it.value());
    return result;
}

// A notes text (a JSON object of strings) with its keys sanitised, compact; a text that is not
// such an object comes back unchanged.
QString sanitizeNoteKeys(const QString& notesText);

} // namespace pierline
