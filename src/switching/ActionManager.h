#pragma once

#include "core/AppAction.h"
#include "core/DockPreset.h"

#include <QJsonObject>
#include <QStringList>
#include <memory>
#include <optional>

namespace pierline {

class ManagedObjectContext;

// Reads and writes a preset's per-app action records (the `appActions` attribute: a JSON object
// from app entry to record). Changes belong on the main thread, where the context lives; each
// change saves the context and throws the store's error when that fails.
class ActionManager {
public:
    static ActionManager& shared();

    // The records of a preset; absent, empty, undecodable or non-object text gives {}. `error`
    // is set only for text that is there but cannot be decoded.
    static QJsonObject decodeActions(const std::optional<QString>& text, QString* error = nullptr);

    std::unique_ptr<AppAction> getAction(const DockPreset& preset, const QString& appURL) const;
    bool hasCustomAction(const DockPreset& preset, const QString& appURL) const;
    void setAction(DockPreset& preset, const QString& appURL, const AppAction& action, ManagedObjectContext& context);
    void removeAction(DockPreset& preset, const QString& appURL, ManagedObjectContext& context);
    // Drops the records of apps that are no longer in the preset.
    void cleanupOrphanedActions(DockPreset& preset, const QStringList& validAppURLs, ManagedObjectContext& context);
    // Drops records that are not objects, have an unknown type or an unreadable configuration;
    // an undecodable attribute is cleared.
    void cleanupCorruptedActions(DockPreset& preset, ManagedObjectContext& context);

private:
    ActionManager() = default;
    // The editor's read: an undecodable attribute is reported and read as no actions.
    static QJsonObject loadActions(const DockPreset& preset);
    static void store(DockPreset& preset, const QJsonObject& actions, ManagedObjectContext& context);
};

} // namespace pierline
