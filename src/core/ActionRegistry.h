#pragma once

#include "AppAction.h"

#include <QStringList>
#include <memory>

namespace pierline {

// Which actions an app offers, and the fresh action of each type for the editor.
class ActionRegistry {
public:
    static ActionRegistry& shared();

    // nullptr for an unknown type.
    std::unique_ptr<AppAction> createDefaultAction(const QString& actionType) const;
    // Action types for an app entry: "open_app" always, "open_browser_profile" for a supported
    // browser, "open_in_ide" for a known editor or IDE.
    QStringList getAvailableActions(const QString& appURL) const;

    static bool isKnownIDE(const QString& appName);

private:
    ActionRegistry() = default;
};

} // namespace pierline
