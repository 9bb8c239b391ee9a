#pragma once

#include "core/DockPreset.h"

#include <QString>
#include <optional>

namespace pierline::cli {

// The preset's app entry that a command-line APP names: the stored entry itself, a bundle path or
// file URL (compared after normalising), or an app's display name. nullopt when the preset has
// no such app.
std::optional<QString> matchAppEntry(const DockPreset& preset, const QString& app);

// The entry a preset would store for a bundle named by a path, a file URL or an application name
// (looked up in the applications folder): a file URL with a trailing "/"; for a desktop app (a
// ".desktop" path, file URL or desktop ID), the file URL of its desktop file. nullopt when no
// such bundle or desktop file exists.
std::optional<QString> entryForBundle(const QString& app);

} // namespace pierline::cli
