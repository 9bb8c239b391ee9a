#pragma once

#include "core/DockPreset.h"

#include <QJsonObject>
#include <QStringList>

namespace pierline::cli {

// What `preset show` adds to the preset's record: its app actions, the notes in force for its
// apps, its companion configuration, its shortcut and its advanced hotkey. Only reads.
QJsonObject presetExtrasJson(const DockPreset& preset);
QStringList presetExtrasLines(const DockPreset& preset);

} // namespace pierline::cli
