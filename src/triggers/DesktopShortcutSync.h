#pragma once

#include "platform/DesktopKeybindings.h"

#include <QString>
#include <optional>

namespace pierline {

// In a Wayland session our X11 grabs see no keys, so the simple shortcuts (presets and actions)
// are also written as the desktop's own keybindings, each running this program: a preset's runs
// `shortcut press`, handed to the running app, which asks first as for a grabbed press. Every
// change of the stored tables ends here: set, remove, a deleted preset, the app's start; a
// keybinding of ours whose command differs (one written by an older version) is rewritten then.

// Brings our desktop keybindings in step with the stored tables; nothing outside a Wayland
// session. Returns why they could not be written.
std::optional<QString> syncDesktopKeybindings();

// The one line that says which triggers a Wayland session keeps.
QString waylandTriggersNote();

} // namespace pierline
