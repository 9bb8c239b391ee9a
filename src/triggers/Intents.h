#pragma once

#include "apply/DockManager.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <stdexcept>

namespace pierline {

// A preset as automation sees it: its UUID string and name.
struct PresetEntity {
    static inline const QString kTypeDisplayName = QStringLiteral("Preset");

    QString id;
    QString name;

    QString displayName() const { return name.isEmpty() ? QStringLiteral("Unnamed Preset") : name; }
    static PresetEntity of(const DockPreset& preset);
    bool operator==(const PresetEntity&) const = default;
};

// The run intent's and the Focus filter's one failure.
class PresetNotFoundError : public std::runtime_error {
public:
    explicit PresetNotFoundError(const QString& name);
    QString description() const { return description_; }
    static QString descriptionFor(const QString& name);

private:
    QString description_;
};

// Picking presets: entities by identifier, and the suggested list.
namespace PresetQuery {
QList<PresetEntity> entities(const QStringList& identifiers);
// Every preset in list order, one entity per identifier.
QList<PresetEntity> suggestedEntities();
// Blank after trimming, or "undefined" / "null" in any case: counted, still offered.
bool isSuspiciousName(const QString& name);
} // namespace PresetQuery

struct IntentDescription {
    QString title;
    QString description;
};

// The two intents and their App Shortcuts.
struct ListPresetsIntent {
    static IntentDescription description();
    static QList<PresetEntity> perform();
};

struct RunPresetIntent {
    static IntentDescription description();
    static inline const QString kParameterDescription = QStringLiteral("The Pierline preset to run");
    static QString successText(const QString& name);
    // Resolves the entity (identifier, then name) and hands the preset to the switch request,
    // cooldown kept. Throws PresetNotFoundError. `apply` receives the started apply.
    static QString perform(const PresetEntity& preset, std::optional<QFuture<ApplyHandle>>* apply = nullptr);
};

struct AppShortcut {
    QString intent;
    QStringList phrases; // "{app}" already replaced
    QString shortTitle;
    QString systemImageName; // empty: the platform's default
};
QList<AppShortcut> pierlineShortcuts();

// A Focus mode's filter: when that Focus becomes active its preset is applied, cooldown bypassed.
struct PierlineFocusFilter {
    static inline const QString kTitle = QStringLiteral("Configure Pierline");
    static inline const QString kParameterTitle = QStringLiteral("Dock Preset");
    static inline const QString kParameterDescription =
        QStringLiteral("The Pierline preset to apply when this Focus becomes active");
    static inline const QString kSubtitle = QStringLiteral("Pierline will activate this preset when Focus changes");

    QString filterId;
    std::optional<PresetEntity> preset;

    QString displayTitle() const;
    // Nothing without a preset (success); else the started apply. Throws PresetNotFoundError.
    std::optional<QFuture<ApplyHandle>> perform() const;
};

// The user activities published for search, and their continuation.
namespace IntentActivity {
inline const QString kListType = QStringLiteral("com.corvane.pierline.list-presets");
inline const QString kRunType = QStringLiteral("com.corvane.pierline.run-preset");
inline const QString kRunSpecificType = QStringLiteral("com.corvane.pierline.run-specific-preset");

struct Activity {
    QString type;
    QString title;
    QVariantMap userInfo;
    QStringList keywords;
};
Activity listPresetsActivity();
Activity runPresetActivity();

// application(_:continue:): the started apply of a run activity, if any.
std::optional<QFuture<ApplyHandle>> continueActivity(const QString& type, const QVariantMap& userInfo);
} // namespace IntentActivity

// What the app holds for the platform's automation layer.
namespace PierlineAppIntentProvider {
QStringList availableIntents();
void logAvailableIntents(); // at start-up
QList<AppShortcut> suggestedIntents();
} // namespace PierlineAppIntentProvider

} // namespace pierline
