#include "triggers/Intents.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "switching/PresetSnapshot.h"
#include "triggers/SwitchRequest.h"

#include <QCoreApplication>
#include <QSet>

namespace pierline {
namespace {

const Logger& intentsLog() {
    static const Logger logger(QStringLiteral("Intents"));
    return logger;
}

const Logger& focusLog() {
    static const Logger logger(QStringLiteral("FocusFilter"));
    return logger;
}

const Logger& queryLog() {
    static const Logger logger(QStringLiteral("PresetQuery"));
    return logger;
}

const QString kAppName = QStringLiteral("Pierline");

std::optional<QString> fallbackName(const PresetEntity& entity) {
    return entity.name.isEmpty() ? std::nullopt : std::optional<QString>(entity.name);
}

QStringList withAppName(const QStringList& phrases) {
    QStringList out;
    for (const QString& phrase : phrases)
        out << QString(phrase).replace(QStringLiteral("{app}"), kAppName);
    return out;
}

// The snapshot of a resolved preset, read on the main thread where its object lives.
PresetSnapshot snapshotOf(const DockPresetPtr& preset) {
    return runOnMainSyncResult([&] { return PresetSnapshot::of(*preset); });
}

} // namespace

PresetEntity PresetEntity::of(const DockPreset& preset) {
    return {preset.idString(), preset.name().value_or(QString())};
}

PresetNotFoundError::PresetNotFoundError(const QString& name)
    : std::runtime_error(descriptionFor(name).toStdString()), description_(descriptionFor(name)) {}

QString PresetNotFoundError::descriptionFor(const QString& name) {
    return QStringLiteral("Pierline preset '%1' was not found").arg(name);
}

bool PresetQuery::isSuspiciousName(const QString& name) {
    const QString trimmed = name.trimmed();
    return trimmed.isEmpty() || trimmed.compare(QLatin1String("undefined"), Qt::CaseInsensitive) == 0 ||
           trimmed.compare(QLatin1String("null"), Qt::CaseInsensitive) == 0;
}

QList<PresetEntity> PresetQuery::entities(const QStringList& identifiers) {
    DockPresetManager& manager = DockPresetManager::shared();
    QList<PresetEntity> found;
    for (const QString& identifier : identifiers) {
        const DockPresetPtr preset = manager.resolvePreset(identifier);
        if (preset) {
            found.append(runOnMainSyncResult([&] { return PresetEntity::of(*preset); }));
        } else {
            queryLog().error(QStringLiteral("PresetQuery could not resolve requested entity identifier kind=%1")
                                 .arg(DockPresetManager::presetIdentifierKind(identifier)));
        }
    }
    queryLog().info(QStringLiteral("PresetQuery resolved %1/%2 requested entity identifiers")
                        .arg(found.size())
                        .arg(identifiers.size()));
    return found;
}

QList<PresetEntity> PresetQuery::suggestedEntities() {
    const QList<DockPresetPtr> presets = DockPresetManager::shared().fetchAllPresets();
    QList<PresetEntity> entities;
    QSet<QString> seen;
    int duplicates = 0;
    int suspicious = 0;
    runOnMainSync([&] {
        for (const DockPresetPtr& preset : presets) {
            const PresetEntity entity = PresetEntity::of(*preset);
            if (seen.contains(entity.id)) {
                ++duplicates;
                continue;
            }
            seen.insert(entity.id);
            if (isSuspiciousName(entity.name))
                ++suspicious;
            entities.append(entity);
        }
    });
    queryLog().info(
        QStringLiteral("PresetQuery suggestedEntities sanitized duplicateIDs=%1, suspiciousNames=%2, returned=%3, "
                       "source=%4")
            .arg(duplicates)
            .arg(suspicious)
            .arg(entities.size())
            .arg(presets.size()));
    queryLog().info(QStringLiteral("PresetQuery suggestedEntities returned %1 presets").arg(entities.size()));
    return entities;
}

IntentDescription ListPresetsIntent::description() {
    return {QStringLiteral("List Pierline Presets"), QStringLiteral("List all Pierline presets")};
}

QList<PresetEntity> ListPresetsIntent::perform() {
    const QList<DockPresetPtr> presets = DockPresetManager::shared().fetchAllPresetsOrThrow();
    return runOnMainSyncResult([&] {
        QList<PresetEntity> entities;
        for (const DockPresetPtr& preset : presets)
            entities.append(PresetEntity::of(*preset));
        return entities;
    });
}

IntentDescription RunPresetIntent::description() {
    return {QStringLiteral("Run Pierline Preset"), QString()};
}

QString RunPresetIntent::successText(const QString& name) {
    return QStringLiteral("Successfully applied preset '%1'!").arg(name);
}

QString RunPresetIntent::perform(const PresetEntity& entity, std::optional<QFuture<ApplyHandle>>* apply) {
    const DockPresetPtr preset = DockPresetManager::shared().resolvePreset(entity.id, fallbackName(entity));
    const std::optional<QString> name = preset ? runOnMainSyncResult([&] { return preset->name(); }) : std::nullopt;
    if (!name)
        throw PresetNotFoundError(entity.name);
    const PresetSnapshot snapshot = snapshotOf(preset);
    intentsLog().info(QStringLiteral("Attempting to run preset: %1 (ID: %2)")
                          .arg(*name, snapshot.id ? uuidText(*snapshot.id) : QStringLiteral("nil")));
    QFuture<ApplyHandle> started = SwitchRequester::shared().start(snapshot, SwitchOrigin::Intent);
    if (apply)
        *apply = started;
    return successText(*name);
}

QList<AppShortcut> pierlineShortcuts() {
    return {
        {QStringLiteral("ListPresetsIntent"),
         withAppName({QStringLiteral("List {app} Presets"), QStringLiteral("Show my {app} Presets"),
                      QStringLiteral("What are my {app} Presets?")}),
         QStringLiteral("List Presets"), QString()},
        {QStringLiteral("RunPresetIntent"),
         withAppName({QStringLiteral("Run a {app} Preset"), QStringLiteral("Apply a {app} Preset")}),
         QStringLiteral("Run Preset"), QStringLiteral("play.circle")},
    };
}

QString PierlineFocusFilter::displayTitle() const {
    return QStringLiteral("Apply '%1'").arg(preset ? preset->displayName() : QStringLiteral("Unknown Preset"));
}

std::optional<QFuture<ApplyHandle>> PierlineFocusFilter::perform() const {
    focusLog().info(QStringLiteral("Focus Filter perform() invoked id=%1 pid=%2, bundle=%3")
                        .arg(filterId)
                        .arg(QCoreApplication::applicationPid())
                        .arg(SystemPaths::applicationBundle()));
    if (!preset) {
        focusLog().info(QStringLiteral("Focus Filter id=%1 triggered but no preset was configured").arg(filterId));
        return std::nullopt;
    }
    focusLog().info(QStringLiteral("Focus Filter id=%1 triggered with entity name='%2' id=%3")
                        .arg(filterId, preset->name, preset->id));
    DockPresetManager& manager = DockPresetManager::shared();
    manager.refreshContext();
    const DockPresetPtr found = manager.resolvePreset(preset->id, fallbackName(*preset));
    const std::optional<QString> name = found ? runOnMainSyncResult([&] { return found->name(); }) : std::nullopt;
    if (!name) {
        focusLog().error(
            QStringLiteral("Focus Filter id=%1: preset name='%2' id=%3 not found in database after refresh")
                .arg(filterId, preset->name, preset->id));
        throw PresetNotFoundError(preset->name);
    }
    const PresetSnapshot snapshot = snapshotOf(found);
    const QString uuid = snapshot.id ? uuidText(*snapshot.id) : QStringLiteral("nil");
    focusLog().info(
        QStringLiteral("Focus Filter id=%1 resolved to current preset name='%2' id=%3").arg(filterId, *name, uuid));
    focusLog().info(QStringLiteral("Focus Filter id=%1 applying '%2' apps=%3 items=%4")
                        .arg(filterId, *name)
                        .arg(snapshot.apps.size())
                        .arg(snapshot.items.size()));
    QFuture<ApplyHandle> started = SwitchRequester::shared().start(snapshot, SwitchOrigin::Focus);
    focusLog().info(QStringLiteral("Focus Filter id=%1 handed off preset '%2' to DockManager").arg(filterId, *name));
    return started;
}

IntentActivity::Activity IntentActivity::listPresetsActivity() {
    return {kListType,
            QStringLiteral("List Pierline Presets"),
            {{QStringLiteral("action"), QStringLiteral("list")}},
            {QStringLiteral("pierline"), QStringLiteral("dock"), QStringLiteral("presets"), QStringLiteral("list")}};
}

IntentActivity::Activity IntentActivity::runPresetActivity() {
    return {kRunType,
            QStringLiteral("Run Pierline Preset"),
            {{QStringLiteral("action"), QStringLiteral("run")}},
            {QStringLiteral("pierline"), QStringLiteral("dock"), QStringLiteral("preset"), QStringLiteral("run")}};
}

std::optional<QFuture<ApplyHandle>> IntentActivity::continueActivity(const QString& type, const QVariantMap& userInfo) {
    static const Logger appDelegate(QStringLiteral("AppDelegate"));
    appDelegate.info(QStringLiteral("Received user activity: %1").arg(type));
    if (userInfo.isEmpty())
        return std::nullopt;
    DockPresetManager& manager = DockPresetManager::shared();
    if (type == kListType) {
        const QList<DockPresetPtr> presets = manager.fetchAllPresets();
        const QStringList names = runOnMainSyncResult([&] {
            QStringList out;
            for (const DockPresetPtr& preset : presets)
                out << preset->name().value_or(QStringLiteral("Unnamed"));
            return out;
        });
        intentsLog().info(QStringLiteral("Available presets: %1").arg(names.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    if (type != kRunType && type != kRunSpecificType)
        return std::nullopt;
    const QString name = userInfo.value(QStringLiteral("presetName")).toString();
    if (name.isEmpty())
        return std::nullopt;
    const DockPresetPtr preset = manager.fetchPreset(name);
    if (!preset) {
        // The apply entry's own wording for an unknown name.
        printWarning(QStringLiteral("Cannot apply preset '%1': no preset has that name").arg(name));
        return std::nullopt;
    }
    return SwitchRequester::shared().start(snapshotOf(preset), SwitchOrigin::Intent);
}

QStringList PierlineAppIntentProvider::availableIntents() {
    return {ListPresetsIntent::description().title, RunPresetIntent::description().title, PierlineFocusFilter::kTitle};
}

void PierlineAppIntentProvider::logAvailableIntents() {
    intentsLog().info(QStringLiteral("Available intents: %1").arg(availableIntents().join(QStringLiteral(", "))));
}

QList<AppShortcut> PierlineAppIntentProvider::suggestedIntents() {
    const QList<AppShortcut> shortcuts = pierlineShortcuts();
    intentsLog().info(QStringLiteral("Returning %1 intents for suggestion").arg(shortcuts.size()));
    return shortcuts;
}

} // namespace pierline
