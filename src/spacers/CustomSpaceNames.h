#pragma once

#include <QString>
#include <optional>

namespace pierline {

// The ten characters a spacer name loses: they cannot stand in a bundle's file name on macOS or
// would change its meaning ("." the extension).
inline const QString kCustomSpaceRemovedCharacters = QStringLiteral("/\\:*?\"<>|.");

// The name without those characters, spaces and tabs trimmed at both ends.
QString sanitizeCustomSpaceName(const QString& name);

// The bundle a name gets in this home's spacer folder: "<folder>/<sanitised>.app".
QString customSpaceBundleFor(const QString& sanitizedName);

// False for a name empty once sanitised, or whose bundle exists and is not `editedBundlePath`.
bool isCustomSpaceNameAvailable(const QString& name, const QString& editedBundlePath = {});

// The editor's checks in order: empty, invalid characters, taken by another spacer. The message
// to show, or nullopt for a good name.
std::optional<QString> customSpaceNameProblem(const QString& name, const QString& editedBundlePath = {});

// Names no spacer may have: text that is not UTF-8 (it arrives as U+FFFD) or holds control
// characters other than the tabs sanitising trims. Why, or nullopt.
std::optional<QString> unusableNameText(const QString& name);

} // namespace pierline
