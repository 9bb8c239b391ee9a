#pragma once

#include "platform/ColorScheme.h"
#include "themes/ThemeDefinition.h"

#include <QString>

namespace pierline {

enum class Appearance { Light, Dark };

QString appearanceName(Appearance appearance); // "light" or "dark"

// Dark when the home's global domain says AppleInterfaceStyle "Dark". On a native dock (any target
// but the sandbox) also when the desktop prefers dark colours; a sandbox home answers the same on
// every machine.
Appearance systemAppearance(const QString& dockTargetId, const PrefersDarkColors& desktopPrefersDark);
// The same for the dock target in use and the desktop's own setting.
Appearance currentAppearance();

// The colours a window draws with.
const ThemeColors& colorsFor(const ThemeDefinition& theme, Appearance appearance);

} // namespace pierline
