#pragma once

#include <QString>
#include <QtGlobal>

namespace pierline {

// Keeps a top-level window of ours off the desktop's task bar and window switcher (the app
// without a Dock icon), or puts it back. On a window not yet shown the state is written for the
// window manager to read as it maps the window; on a shown one the window manager is asked.
// False with `error` set when the window system refused.
bool setSkipTaskbar(quintptr nativeWindow, bool skip, QString* error = nullptr);

} // namespace pierline
