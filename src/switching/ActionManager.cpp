#include "ActionManager.h"

#include "platform/Log.h"
#include "store/ManagedObjectContext.h"

#include <QJsonDocument>

namespace pierline {

ActionManager& ActionManager::shared() {
    static ActionManager instance;
    return instance;
}

QJsonObject ActionManager::decodeActions(const std::optional<QString>& text, QString* error) {
    if (error)
        error->clear();
    if (!text || text->isEmpty())
        return {};
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(text->toUtf8(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = parseError.error != QJsonParseError::NoError
                         ? QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset)
                         : QStringLiteral("the text is not a JSON object");
        return {};
    }
    return doc.object();
}

QJsonObject ActionManager::loadActions(const DockPreset& preset) {
    QString error;
    const QJsonObject actions = decodeActions(preset.appActions(), &error);
    if (!error.isEmpty())
        printWarning(QStringLiteral("Failed to decode appActions JSON: %1").arg(error));
    return actions;
}

std::unique_ptr<AppAction> ActionManager::getAction(const DockPreset& preset, const QString& appURL) const {
    const QJsonValue record = loadActions(preset).value(appURL);
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
    QJsonObject actions = loadActions(preset);
    actions.insert(appURL, action.record());
    store(preset, actions, context);
}

void ActionManager::removeAction(DockPreset& preset, const QString& appURL, ManagedObjectContext& context) {
    QJsonObject actions = loadActions(preset);
    if (!actions.contains(appURL))
        return;
    actions.remove(appURL);
    store(preset, actions, context);
}

void ActionManager::cleanupOrphanedActions(DockPreset& preset, const QStringList& validAppURLs,
                                           ManagedObjectContext& context) {
    QJsonObject actions = loadActions(preset);
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
    QString error;
    QJsonObject actions = decodeActions(preset.appActions(), &error);
    bool changed = !error.isEmpty();
    if (changed)
        printWarning(QStringLiteral("Failed to decode appActions JSON: %1").arg(error));
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
