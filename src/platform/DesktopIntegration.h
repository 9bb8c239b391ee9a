#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {

// What makes pierline:// links and the session bus reach this program and this home: the link
// handler's desktop entry, the default handler for the scheme, and the bus service file that
// starts the app when its name is called.
struct DesktopIntegrationResult {
    QStringList changed;          // the files written or removed
    std::optional<QString> error; // the first failure; the steps before it stay done
};

// Writes every piece (again: the same files come out). Call with the program's own path known.
DesktopIntegrationResult installDesktopIntegration();
// Removes what installDesktopIntegration wrote and nothing else.
DesktopIntegrationResult uninstallDesktopIntegration();

// The link handler's desktop entry (written by the login item's registerWithLaunchServices).
QString linkHandlerDesktopFile();

} // namespace pierline
