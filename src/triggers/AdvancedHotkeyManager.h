#pragma once

#include "platform/Clock.h"
#include "platform/ModifierMonitor.h"
#include "triggers/HotKey.h"
#include "triggers/KeyCombination.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace pierline {

inline const QString kPierlineScopeModeChangedNotification = QStringLiteral("pierlineScopeModeChanged");
inline const QString kAdvancedHotkeyConfigurationsChangedNotification =
    QStringLiteral("advancedHotkeyConfigurationsChanged");

enum class HotkeyTriggerType { single, sequence, multiPress };

QString triggerTypeRawValue(HotkeyTriggerType type);
std::optional<HotkeyTriggerType> triggerTypeFromRawValue(const QString& raw);
// "Single Press", "Key Sequence", "Multi-Press".
QString triggerTypeDisplayName(HotkeyTriggerType type);
// The line under each choice of the trigger picker.
QString triggerTypeExplanation(HotkeyTriggerType type);

// What triggers one preset beyond its simple shortcut.
struct PresetHotkeyConfiguration {
    QUuid presetID;
    HotkeyTriggerType triggerType = HotkeyTriggerType::single;
    std::optional<KeyCombination> actionKey;     // sequence: pressed in scope mode
    std::optional<qint64> multiPressCount;       // multi-press: presses required
    std::optional<KeyCombination> multiPressKey; // multi-press: may be a bare modifier

    // Absent optionals are left out.
    QJsonObject toJson() const;
    // nullopt, with `error` saying what is wrong, for anything but a configuration object.
    static std::optional<PresetHotkeyConfiguration> fromJson(const QJsonValue& value, QString* error = nullptr);

    friend bool operator==(const PresetHotkeyConfiguration&, const PresetHotkeyConfiguration&) = default;
};

using HotkeyConfigurations = std::map<QUuid, PresetHotkeyConfiguration>;

// The stored form: one array alternating each preset's UUID string and its configuration.
QByteArray encodeHotkeyConfigurations(const HotkeyConfigurations& configurations);
// nullopt, with `error`, for anything that is not such an array of valid pairs.
std::optional<HotkeyConfigurations> decodeHotkeyConfigurations(const QByteArray& data, QString* error = nullptr);

struct HotkeyState {
    enum class Kind { inScope, awaitingMultiPress, idle };
    Kind kind = Kind::idle;
    QDateTime enteredAt;   // inScope
    qint64 count = 0;      // awaitingMultiPress
    KeyCombination key;    // awaitingMultiPress
    QDateTime lastPressAt; // awaitingMultiPress

    // "In Scope Mode", "Awaiting {count} more presses", "Idle".
    QString description() const;
};

// Key sequences behind a leader key and multi-presses (of an ordinary key or a bare modifier),
// one configuration per preset, kept in user defaults. Action keys are grabbed only while scope
// mode lasts, so they belong to other applications the rest of the time. Main thread only.
class AdvancedHotkeyManager : public QObject {
    Q_OBJECT

public:
    using Action = std::function<void()>;

    static inline const QString kConfigurationsKey = QStringLiteral("advancedHotkeyConfigurations_v1");
    static inline const QString kLeaderKeyKey = QStringLiteral("pierlineLeaderKey_v1");
    static inline const QString kScopeTimeoutKey = QStringLiteral("scopeTimeoutSeconds");
    // Holds seconds, whatever its name says.
    static inline const QString kMultiPressWindowKey = QStringLiteral("multiPressWindowMs");

    enum class Mode {
        Live,       // registers hotkeys and watches modifiers (the app)
        StoredOnly, // reads and writes the stored data only (a command without the app)
    };

    // The process-wide live manager, made on first use; its construction registers everything stored.
    static AdvancedHotkeyManager& shared();
    // The shared manager when it has been made, else nullptr.
    static AdvancedHotkeyManager* existing();
    static void resetSharedForTesting();

    explicit AdvancedHotkeyManager(Mode mode = Mode::Live, QObject* parent = nullptr);
    ~AdvancedHotkeyManager() override;

    const HotkeyState& currentState() const { return currentState_; }
    bool isInScopeMode() const { return isInScopeMode_; }
    double scopeTimeoutSeconds() const { return scopeTimeoutSeconds_; }
    double multiPressWindowSeconds() const { return multiPressWindowMs_; }
    // Why the stored configurations could not be read at start (they then count as none).
    const std::optional<QString>& configurationsLoadError() const { return configurationsLoadError_; }

    // The changes below return why the configurations could not be written (already logged).
    std::optional<QString> registerPreset(const PresetHotkeyConfiguration& configuration, Action action);
    std::optional<QString> removePreset(const QUuid& presetID);
    std::optional<PresetHotkeyConfiguration> getConfiguration(const QUuid& presetID) const;
    bool hasConfiguration(const QUuid& presetID) const;
    const HotkeyConfigurations& getAllConfigurations() const { return configurations_; }
    void setActionCallback(const QUuid& presetID, Action action);
    // The action every configuration gets: posts the switch request for the preset, so the
    // switch asks and applies as a simple hotkey's does.
    Action switchAction(const QUuid& presetID) const;

    // A combination whose code names no key clears the leader. Returns why the stored leader
    // could not be written or removed.
    std::optional<QString> setLeaderKey(const std::optional<KeyCombination>& combination);
    std::optional<KeyCombination> getLeaderKey() const { return loadLeaderKey(); }
    std::optional<KeyCombination> loadLeaderKey() const;

    // Both values in seconds; each is written to user defaults at once.
    void updateSettings(double scopeTimeoutSeconds, double multiPressWindowSeconds);
    // Leaves scope mode from the main queue.
    void cancelScopeMode();

    // The debug block, line by line; printDebugState() logs it.
    QStringList debugStateLines() const;
    void printDebugState() const;

    // The stored data as it stands, without a manager. nullopt with `error` when it cannot be
    // read; an empty table / no leader when nothing is stored.
    static std::optional<HotkeyConfigurations> readStoredConfigurations(QString* error);
    static std::optional<std::optional<KeyCombination>> readStoredLeaderKey(QString* error);

    // A preset was deleted: the live manager drops its entries, else the stored table loses its
    // entry. Stored data that cannot be read is left as it is.
    static void removeConfigurationOfDeletedPreset(const QUuid& presetID);

signals:
    // currentState or isInScopeMode changed.
    void stateChanged();

private:
    void registerAllHotkeys();
    void registerMultiPressHotKey(const PresetHotkeyConfiguration& configuration, const Action& action);
    void leaderPressed();
    void enterScopeMode();
    void exitScopeMode();
    void scopeActionPressed(const QUuid& presetID);
    void handleMultiPress(const QUuid& presetID, qint64 required, const Action& action);
    void setupModifierOnlyMonitoring();
    void modifierFlagsChanged(const FlagsChangedEvent& event);
    std::optional<QString> saveConfigurations();
    void postConfigurationsChanged();
    void setState(HotkeyState state, bool inScope);
    std::shared_ptr<HotKey> makeHotKey(const KeyCombination& combination, std::function<void()> keyDown) const;

    struct MultiPressCounter {
        qint64 count = 0;
        QDateTime lastPressAt; // invalid: the distant past
    };

    Mode mode_;
    HotkeyState currentState_;
    bool isInScopeMode_ = false;
    HotkeyConfigurations configurations_;
    std::shared_ptr<HotKey> leaderHotKey_;
    std::map<QUuid, std::shared_ptr<HotKey>> scopeActionHotKeys_;
    std::map<QUuid, std::shared_ptr<HotKey>> multiPressHotKeys_;
    std::map<QUuid, Action> storedActionCallbacks_;
    std::optional<TimerId> scopeTimeoutTimer_;
    std::map<QUuid, TimerId> multiPressResetTimers_;
    std::map<QUuid, MultiPressCounter> multiPressCounters_;
    double scopeTimeoutSeconds_ = 3.0;
    double multiPressWindowMs_ = 0.5; // seconds
    ModifierMonitor::Token modifierMonitor_ = 0;
    HotkeyConfigurations modifierOnlyConfigs_;
    std::optional<quint32> lastModifierKeyCode_;
    std::optional<QString> configurationsLoadError_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // watched by queued work and timers
};

} // namespace pierline
