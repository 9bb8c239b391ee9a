#include "ActionManager.h"

#include "platform/Log.h"
#include "store/ManagedObjectContext.h"

#include <QJsonDocument>

namespace pierline {

ActionManager& ActionManager::shared() {
    static ActionManager instance;
    return instance;
}

QJsonObject ActionManager::decodeActions(const std::optional<QString>& text, bool* ok) {
    if (ok)
        *ok = true;
    if (!text || text->isEmpty())
        return {};
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text->toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        if (ok)
            *ok = false;
        return {};
    }
    return doc.object();
}

std::unique_ptr<AppAction> ActionManager::getAction(const DockPreset& preset, const QString& appURL) const {
    const QJsonValue record = decodeActions(preset.appActions()).value(appURL);
    if (!record.isObject())
        return nullptr;
    return AppAction::fromRecord(record.toObject());
}

bool ActionManager::hasCustomAction(const DockPreset& preset, const QString& appURL) const {
    return getAction(preset, appURL) != nullptr;
}

void ActionManager::store(DockPreset& preset, const QJsonObject& actions, ManagedObjectContext& context) {
    if (actions.isEmpty())
        preset.setAppActions(std::nullopt);
    else
        preset.setAppActions(QString::fromUtf8(QJsonDocument(actions).toJson(QJsonDocument::Compact)));
    try {
        context.save();
    } catch (...) {
        context.rollback();
        throw;
    }
}

void ActionManager::setAction(DockPreset& preset, const QString& appURL, const AppAction& action,
                              ManagedObjectContext& context) {
    QJsonObject actions = decodeActions(preset.appActions());
    actions.insert(appURL, action.record());
    store(preset, actions, context);
}

void ActionManager::removeAction(DockPreset& preset, const QString& appURL, ManagedObjectContext& context) {
    QJsonObject actions = decodeActions(preset.appActions());
    if (!actions.contains(appURL))
        return;
    actions.remove(appURL);
    store(preset, actions, context);
}

void ActionManager::cleanupOrphanedActions(DockPreset& preset, const QStringList& validAppURLs,
                                           ManagedObjectContext& context) {
    QJsonObject actions = decodeActions(preset.appActions());
    bool changed = false;
    for (const QString& key : actions.keys()) {
        if (validAppURLs.contains(key))
            continue;
        actions.remove(key);
        changed = true;
    }
    if (changed)
        store(preset, actions, context);
}

void ActionManager::cleanupCorruptedActions(DockPreset& preset, ManagedObjectContext& context) {
    bool ok = true;
    QJsonObject actions = decodeActions(preset.appActions(), &ok);
    bool changed = !ok;
    if (!ok)
        printLine(QStringLiteral("Failed to decode appActions JSON: clearing the unreadable actions"));
    for (const QString& key : actions.keys()) {
        const QJsonValue record = actions.value(key);
        if (record.isObject() && AppAction::fromRecord(record.toObject()))
            continue;
        actions.remove(key);
        changed = true;
    }
    if (changed)
        store(preset, actions, context);
}

} // namespace pierline
