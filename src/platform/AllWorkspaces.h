#pragma once

#include <QString>

class QWindow;

namespace pierline {

// Asks the desktop to show a top-level window on every workspace. Window managers read it when
// the window is mapped, so call it before each show. False (and `error` set) when the window
// system takes no such request.
bool showOnAllWorkspaces(QWindow& window, QString* error = nullptr);

} // namespace pierline
