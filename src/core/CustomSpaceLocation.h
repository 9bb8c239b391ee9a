#pragma once

#include <QString>
#include <optional>

namespace pierline {

// Custom spacer bundles are "NAME.app" folders directly inside this home's CustomSpaces folder.
// Anything else, a link there included, is not one, so nothing that changes or removes a spacer
// can be pointed elsewhere.

// The bundle's clean absolute path (no trailing "/") when `path` names such a bundle; it need not
// exist yet, but an existing one must be a real folder. Hidden names (".tmp-…") do not count.
std::optional<QString> customSpaceBundlePath(const QString& path);
// The same for a location as the Dock or a preset holds it: a file URL (percent-decoded, trailing
// "/" allowed) or a path, where a leading "~" stands for the home.
std::optional<QString> customSpaceBundleForLocation(const QString& location);
inline bool isCustomSpaceEntry(const QString& appEntry) {
    return customSpaceBundleForLocation(appEntry).has_value();
}

} // namespace pierline
