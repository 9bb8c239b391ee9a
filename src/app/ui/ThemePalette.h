#pragma once

#include "themes/ThemeDefinition.h"

#include <QPalette>

class QWidget;

namespace pierline {

// The window colours of one appearance of a theme, over `base` for the roles a theme does not name.
QPalette themePalette(const ThemeColors& colors, QPalette base);

// Gives `window` the running app's current theme now and again whenever the theme changes, for as
// long as the window lives. Outside the app (no theme manager) the window keeps its palette.
void followCurrentTheme(QWidget* window);

} // namespace pierline
