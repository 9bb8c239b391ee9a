#pragma once

#include <QString>
#include <QtGlobal>

// The names and codes com.apple.dock uses in its tile dictionaries, shared by the readers, the
// writers, the sandbox and the emulated tools, which all speak the Dock's own format.
namespace pierline::dock_tiles {

// "tile-type" values.
inline const QString kFileTile = QStringLiteral("file-tile");
inline const QString kDirectoryTile = QStringLiteral("directory-tile");
inline const QString kUrlTile = QStringLiteral("url-tile");
inline const QString kSpacerTile = QStringLiteral("spacer-tile");
inline const QString kSmallSpacerTile = QStringLiteral("small-spacer-tile");
inline const QString kFlexSpacerTile = QStringLiteral("flex-spacer-tile");

// "file-type" codes of the tiles that are written.
inline constexpr qint64 kApplicationFileType = 41;
inline constexpr qint64 kDirectoryFileType = 2;
// "_CFURLStringType" of every URL written: an absolute URL string.
inline constexpr qint64 kUrlStringType = 15;

} // namespace pierline::dock_tiles
