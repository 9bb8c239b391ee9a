#include "triggers/AdvancedHotkeyManager.h"

#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "triggers/KeyRecorder.h"
#include "triggers/SwitchRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QPointer>
#include <cmath>

namespace pierline {
namespace {

constexpr const char* kPresetIDField = "presetID";
constexpr const char* kTriggerTypeField = "triggerType";
constexpr const char* kActionKeyField = "actionKey";
constexpr const char* kMultiPressCountField = "multiPressCount";
constexpr const char* kMultiPressKeyField = "multiPressKey";

// The timers keep whole milliseconds.
constexpr double kTimerTickSeconds = 0.001;

// Whole numbers a double holds exactly.
constexpr double kLargestExactInteger = 9007199254740992.0;

AdvancedHotkeyManager* g_shared = nullptr;

// Doubles as the log words them: "3.0", "0.5".
QString secondsText(double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(value, 'f', 1);
    return QString::number(value, 'g', 15);
}

// The text form Foundation reads back as a UUID: 36 characters, no braces, either letter case.
std::optional<QUuid> uuidFromText(const QString& text) {
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QLatin1String("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

// An optional field: absent and null both mean none.
bool isAbsent(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isUndefined() || value.isNull();
}

bool isModifierCode(quint32 code) {
    return KeyCombination{code, 0}.isModifierOnly();
}

} // namespace

// --- Data model -----------------------------------------------------------------------------

QString triggerTypeRawValue(HotkeyTriggerType type) {
    switch (type) {
    case HotkeyTriggerType::single:
        return QStringLiteral("single");
    case HotkeyTriggerType::sequence:
        return QStringLiteral("sequence");
    case HotkeyTriggerType::multiPress:
        return QStringLiteral("multiPress");
    }
    return {};
}

std::optional<HotkeyTriggerType> triggerTypeFromRawValue(const QString& raw) {
    for (HotkeyTriggerType type :
         {HotkeyTriggerType::single, HotkeyTriggerType::sequence, HotkeyTriggerType::multiPress})
        if (raw == triggerTypeRawValue(type))
            return type;
    return std::nullopt;
}

QString triggerTypeDisplayName(HotkeyTriggerType type) {
    switch (type) {
    case HotkeyTriggerType::single:
        return QStringLiteral("Single Press");
    case HotkeyTriggerType::sequence:
        return QStringLiteral("Key Sequence");
    case HotkeyTriggerType::multiPress:
        return QStringLiteral("Multi-Press");
    }
    return {};
}

QString triggerTypeExplanation(HotkeyTriggerType type) {
    switch (type) {
    case HotkeyTriggerType::single:
        return QStringLiteral("Press once to activate");
    case HotkeyTriggerType::sequence:
        return QStringLiteral("Enter scope, then press action key");
    case HotkeyTriggerType::multiPress:
        return QStringLiteral("Tap multiple times quickly");
    }
    return {};
}

QJsonObject PresetHotkeyConfiguration::toJson() const {
    QJsonObject object;
    object.insert(QLatin1String(kPresetIDField), uuidText(presetID));
    object.insert(QLatin1String(kTriggerTypeField), triggerTypeRawValue(triggerType));
    if (actionKey)
        object.insert(QLatin1String(kActionKeyField), actionKey->toJson());
    if (multiPressCount)
        object.insert(QLatin1String(kMultiPressCountField), *multiPressCount);
    if (multiPressKey)
        object.insert(QLatin1String(kMultiPressKeyField), multiPressKey->toJson());
    return object;
}

std::optional<PresetHotkeyConfiguration> PresetHotkeyConfiguration::fromJson(const QJsonValue& value, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<PresetHotkeyConfiguration> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (!value.isObject())
        return fail(QStringLiteral("a configuration is not an object"));
    const QJsonObject object = value.toObject();
    PresetHotkeyConfiguration configuration;

    const QJsonValue id = object.value(QLatin1String(kPresetIDField));
    const std::optional<QUuid> presetID = id.isString() ? uuidFromText(id.toString()) : std::nullopt;
    if (!presetID)
        return fail(QStringLiteral("\"presetID\" is not a UUID string"));
    configuration.presetID = *presetID;

    const QJsonValue type = object.value(QLatin1String(kTriggerTypeField));
    const std::optional<HotkeyTriggerType> triggerType =
        type.isString() ? triggerTypeFromRawValue(type.toString()) : std::nullopt;
    if (!triggerType)
        return fail(QStringLiteral("\"triggerType\" is not one of single, sequence, multiPress"));
    configuration.triggerType = *triggerType;

    for (const auto& [field, target] : {std::pair{kActionKeyField, &configuration.actionKey},
                                        std::pair{kMultiPressKeyField, &configuration.multiPressKey}}) {
        if (isAbsent(object, field))
            continue;
        QString why;
        *target = KeyCombination::fromJson(object.value(QLatin1String(field)), &why);
        if (!*target)
            return fail(QStringLiteral("\"%1\": %2").arg(QLatin1String(field), why));
    }

    if (!isAbsent(object, kMultiPressCountField)) {
        const QJsonValue count = object.value(QLatin1String(kMultiPressCountField));
        const double number = count.toDouble(std::nan(""));
        if (!count.isDouble() || number != std::floor(number) || std::fabs(number) > kLargestExactInteger)
            return fail(QStringLiteral("\"multiPressCount\" is not a whole number"));
        configuration.multiPressCount = static_cast<qint64>(number);
    }
    return configuration;
}

QByteArray encodeHotkeyConfigurations(const HotkeyConfigurations& configurations) {
    QJsonArray array;
    for (const auto& [id, configuration] : configurations) {
        array.append(uuidText(id));
        array.append(configuration.toJson());
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<HotkeyConfigurations> decodeHotkeyConfigurations(const QByteArray& data, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<HotkeyConfigurations> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON (%1 at offset %2)").arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isArray())
        return fail(QStringLiteral("not an array of preset ids and configurations"));
    const QJsonArray array = document.array();
    if (array.size() % 2 != 0)
        return fail(QStringLiteral("a preset id without its configuration"));
    HotkeyConfigurations configurations;
    for (qsizetype i = 0; i < array.size(); i += 2) {
        const std::optional<QUuid> id = array[i].isString() ? uuidFromText(array[i].toString()) : std::nullopt;
        if (!id)
            return fail(QStringLiteral("element %1 is not a UUID string").arg(i));
        QString why;
        const auto configuration = PresetHotkeyConfiguration::fromJson(array[i + 1], &why);
        if (!configuration)
            return fail(QStringLiteral("element %1: %2").arg(i + 1).arg(why));
        configurations[*id] = *configuration;
    }
    return configurations;
}

QString HotkeyState::description() const {
    switch (kind) {
    case Kind::inScope:
        return QStringLiteral("In Scope Mode");
    case Kind::awaitingMultiPress:
        return QStringLiteral("Awaiting %1 more presses").arg(count);
    case Kind::idle:
        return QStringLiteral("Idle");
    }
    return {};
}

// --- Stored data ------------------------------------------------------------------------------

std::optional<HotkeyConfigurations> AdvancedHotkeyManager::readStoredConfigurations(QString* error) {
    const UserDefaults& defaults = UserDefaults::standard();
    if (const auto readError = defaults.readError()) {
        if (error)
            *error = *readError;
        return std::nullopt;
    }
    if (!defaults.contains(kConfigurationsKey))
        return HotkeyConfigurations{};
    const std::optional<QByteArray> data = defaults.data(kConfigurationsKey);
    if (!data) {
        if (error)
            *error = QStringLiteral("the stored value is not data");
        return std::nullopt;
    }
    return decodeHotkeyConfigurations(*data, error);
}

std::optional<std::optional<KeyCombination>> AdvancedHotkeyManager::readStoredLeaderKey(QString* error) {
    const UserDefaults& defaults = UserDefaults::standard();
    if (const auto readError = defaults.readError()) {
        if (error)
            *error = *readError;
        return std::nullopt;
    }
    if (!defaults.contains(kLeaderKeyKey))
        return std::optional<KeyCombination>{};
    const std::optional<QByteArray> data = defaults.data(kLeaderKeyKey);
    if (!data) {
        if (error)
            *error = QStringLiteral("the stored value is not data");
        return std::nullopt;
    }
    auto leader = KeyCombination::fromJsonBytes(*data, error);
    if (!leader)
        return std::nullopt;
    return std::optional<KeyCombination>(*leader);
}

void AdvancedHotkeyManager::removeConfigurationOfDeletedPreset(const QUuid& presetID) {
    runOnMainSync([&] {
        if (AdvancedHotkeyManager* live = existing()) {
            live->removePreset(presetID);
            return;
        }
        QString error;
        const auto stored = readStoredConfigurations(&error);
        if (!stored) {
            printWarning(QStringLiteral("The advanced hotkey of preset %1 stays stored: the stored "
                                        "configurations cannot be read (%2)")
                             .arg(uuidText(presetID), error));
            return;
        }
        if (!stored->count(presetID))
            return;
        AdvancedHotkeyManager(Mode::StoredOnly).removePreset(presetID);
    });
}

// --- Start-up ---------------------------------------------------------------------------------

AdvancedHotkeyManager& AdvancedHotkeyManager::shared() {
    return *runOnMainSyncResult([] {
        if (!g_shared)
            g_shared = new AdvancedHotkeyManager(Mode::Live);
        return g_shared;
    });
}

AdvancedHotkeyManager* AdvancedHotkeyManager::existing() {
    return g_shared;
}

void AdvancedHotkeyManager::resetSharedForTesting() {
    runOnMainSync([] {
        delete g_shared;
        g_shared = nullptr;
    });
}

AdvancedHotkeyManager::AdvancedHotkeyManager(Mode mode, QObject* parent) : QObject(parent), mode_(mode) {
    UserDefaults& defaults = UserDefaults::standard();
    const std::pair<const QString*, double*> timings[] = {{&kScopeTimeoutKey, &scopeTimeoutSeconds_},
                                                          {&kMultiPressWindowKey, &multiPressWindowMs_}};
    for (const auto& [key, target] : timings) {
        if (const std::optional<double> stored = defaults.doubleValue(*key)) {
            *target = *stored;
            try {
                defaults.set(*key, *stored);
            } catch (const UserDefaultsError& error) {
                printWarning(QStringLiteral("Could not write %1: %2").arg(*key, error.message()));
            }
        }
    }

    if (defaults.contains(kConfigurationsKey)) {
        QString error;
        if (auto stored = readStoredConfigurations(&error)) {
            configurations_ = std::move(*stored);
        } else {
            configurationsLoadError_ = error;
            printWarning(QStringLiteral("Error loading advanced hotkey configurations: %1").arg(error));
        }
    }

    if (const std::optional<KeyCombination> leader = loadLeaderKey())
        setLeaderKey(leader);

    registerAllHotkeys();
}

AdvancedHotkeyManager::~AdvancedHotkeyManager() {
    *alive_ = false;
    Timers& timers = Timers::shared();
    if (scopeTimeoutTimer_)
        timers.cancel(*scopeTimeoutTimer_);
    for (const auto& [id, timer] : multiPressResetTimers_)
        timers.cancel(timer);
    if (modifierMonitor_)
        ModifierMonitor::shared().removeHandler(modifierMonitor_);
}

std::shared_ptr<HotKey> AdvancedHotkeyManager::makeHotKey(const KeyCombination& combination,
                                                          std::function<void()> keyDown) const {
    const std::optional<KeyCombo> combo = combination.keyCombo();
    if (!combo || mode_ != Mode::Live)
        return nullptr;
    std::shared_ptr<HotKey> hotKey = HotKey::create(*combo);
    hotKey->setKeyDownHandler(std::move(keyDown));
    return hotKey;
}

AdvancedHotkeyManager::Action AdvancedHotkeyManager::switchAction(const QUuid& presetID) const {
    std::weak_ptr<bool> alive = alive_;
    return [alive, presetID] {
        if (!alive.expired())
            postSwitchRequest(presetID);
    };
}

void AdvancedHotkeyManager::registerAllHotkeys() {
    bool hasModifierOnly = false;
    for (const auto& [id, configuration] : configurations_) {
        const Action action = switchAction(configuration.presetID);
        storedActionCallbacks_[id] = action;
        if (configuration.triggerType != HotkeyTriggerType::multiPress || !configuration.multiPressCount ||
            !configuration.multiPressKey)
            continue;
        if (isModifierCode(configuration.multiPressKey->carbonKeyCode)) {
            modifierOnlyConfigs_[id] = configuration;
            hasModifierOnly = true;
        } else {
            registerMultiPressHotKey(configuration, action);
        }
    }
    if (hasModifierOnly)
        setupModifierOnlyMonitoring();
}

void AdvancedHotkeyManager::registerMultiPressHotKey(const PresetHotkeyConfiguration& configuration,
                                                     const Action& action) {
    multiPressHotKeys_.erase(configuration.presetID);
    if (!configuration.multiPressKey || !configuration.multiPressCount)
        return;
    QPointer<AdvancedHotkeyManager> self(this);
    const QUuid id = configuration.presetID;
    const qint64 required = *configuration.multiPressCount;
    if (auto hotKey = makeHotKey(*configuration.multiPressKey, [self, id, required, action] {
            if (self)
                self->handleMultiPress(id, required, action);
        }))
        multiPressHotKeys_[id] = std::move(hotKey);
}

// --- Configurations ---------------------------------------------------------------------------

std::optional<QString> AdvancedHotkeyManager::registerPreset(const PresetHotkeyConfiguration& configuration,
                                                             Action action) {
    const QUuid id = configuration.presetID;
    storedActionCallbacks_[id] = action;
    configurations_[id] = configuration;
    multiPressHotKeys_.erase(id);
    scopeActionHotKeys_.erase(id);
    // A preset that was a bare-modifier multi-press and now is something else must stop
    // counting taps.
    const bool hadModifierOnly = modifierOnlyConfigs_.erase(id) > 0;
    bool modifierOnly = false;
    if (configuration.triggerType == HotkeyTriggerType::multiPress && configuration.multiPressCount &&
        configuration.multiPressKey) {
        if (isModifierCode(configuration.multiPressKey->carbonKeyCode)) {
            modifierOnlyConfigs_[id] = configuration;
            modifierOnly = true;
        } else {
            registerMultiPressHotKey(configuration, action);
        }
    }
    if (hadModifierOnly || modifierOnly)
        setupModifierOnlyMonitoring();
    auto error = saveConfigurations();
    postConfigurationsChanged();
    return error;
}

std::optional<QString> AdvancedHotkeyManager::removePreset(const QUuid& presetID) {
    multiPressHotKeys_.erase(presetID);
    scopeActionHotKeys_.erase(presetID);
    const bool had = configurations_.erase(presetID) > 0;
    if (auto timer = multiPressResetTimers_.find(presetID); timer != multiPressResetTimers_.end()) {
        Timers::shared().cancel(timer->second);
        multiPressResetTimers_.erase(timer);
    }
    multiPressCounters_.erase(presetID);
    modifierOnlyConfigs_.erase(presetID);
    storedActionCallbacks_.erase(presetID);
    // Stored data that could not be read is only replaced by a deliberate change, never by the
    // removal of something it may not even hold.
    std::optional<QString> error;
    if (had || !configurationsLoadError_)
        error = saveConfigurations();
    postConfigurationsChanged();
    setupModifierOnlyMonitoring();
    return error;
}

std::optional<PresetHotkeyConfiguration> AdvancedHotkeyManager::getConfiguration(const QUuid& presetID) const {
    auto it = configurations_.find(presetID);
    if (it == configurations_.end())
        return std::nullopt;
    return it->second;
}

bool AdvancedHotkeyManager::hasConfiguration(const QUuid& presetID) const {
    return configurations_.count(presetID) > 0;
}

void AdvancedHotkeyManager::setActionCallback(const QUuid& presetID, Action action) {
    storedActionCallbacks_[presetID] = action;
    auto it = configurations_.find(presetID);
    if (it != configurations_.end() && it->second.triggerType == HotkeyTriggerType::multiPress &&
        it->second.multiPressKey && !isModifierCode(it->second.multiPressKey->carbonKeyCode))
        registerMultiPressHotKey(it->second, action);
}

std::optional<QString> AdvancedHotkeyManager::saveConfigurations() {
    try {
        UserDefaults::standard().set(kConfigurationsKey, encodeHotkeyConfigurations(configurations_));
        configurationsLoadError_.reset();
        return std::nullopt;
    } catch (const UserDefaultsError& error) {
        printWarning(QStringLiteral("Error saving advanced hotkey configurations: %1").arg(error.message()));
        return error.message();
    }
}

void AdvancedHotkeyManager::postConfigurationsChanged() {
    runOnMainAsync([] { NotificationCenter::shared().post(kAdvancedHotkeyConfigurationsChangedNotification); });
}

// --- Leader key and scope mode ----------------------------------------------------------------

std::optional<KeyCombination> AdvancedHotkeyManager::loadLeaderKey() const {
    QString error;
    const auto leader = readStoredLeaderKey(&error);
    if (!leader) {
        printWarning(QStringLiteral("Error loading leader key: %1").arg(error));
        return std::nullopt;
    }
    return *leader;
}

std::optional<QString> AdvancedHotkeyManager::setLeaderKey(const std::optional<KeyCombination>& combination) {
    leaderHotKey_.reset();
    UserDefaults& defaults = UserDefaults::standard();
    try {
        if (combination && combination->keyCombo()) {
            QPointer<AdvancedHotkeyManager> self(this);
            leaderHotKey_ = makeHotKey(*combination, [self] {
                if (self)
                    self->leaderPressed();
            });
            defaults.set(kLeaderKeyKey, combination->toJsonBytes());
            printLine(QStringLiteral("🔑 Leader key set to: %1").arg(combination->displayString()));
        } else {
            defaults.remove(kLeaderKeyKey);
        }
    } catch (const UserDefaultsError& error) {
        printWarning(QStringLiteral("Error saving leader key: %1").arg(error.message()));
        return error.message();
    }
    return std::nullopt;
}

void AdvancedHotkeyManager::leaderPressed() {
    if (currentState_.kind != HotkeyState::Kind::idle)
        return;
    QPointer<AdvancedHotkeyManager> self(this);
    runOnMainAsync([self] {
        if (self)
            self->enterScopeMode();
    });
}

void AdvancedHotkeyManager::setState(HotkeyState state, bool inScope) {
    currentState_ = std::move(state);
    isInScopeMode_ = inScope;
    emit stateChanged();
}

void AdvancedHotkeyManager::enterScopeMode() {
    // Two leader presses queued before the first entry ran make one scope.
    if (isInScopeMode_)
        return;
    HotkeyState state;
    state.kind = HotkeyState::Kind::inScope;
    state.enteredAt = Clock::shared().now();
    setState(state, true);

    QPointer<AdvancedHotkeyManager> self(this);
    for (const auto& [id, configuration] : configurations_) {
        if (configuration.triggerType != HotkeyTriggerType::sequence || !configuration.actionKey)
            continue;
        const QUuid presetID = id;
        if (auto hotKey = makeHotKey(*configuration.actionKey, [self, presetID] {
                if (self)
                    self->scopeActionPressed(presetID);
            }))
            scopeActionHotKeys_[id] = std::move(hotKey);
    }

    Timers& timers = Timers::shared();
    if (scopeTimeoutTimer_)
        timers.cancel(*scopeTimeoutTimer_);
    std::weak_ptr<bool> alive = alive_;
    scopeTimeoutTimer_ = timers.schedule(scopeTimeoutSeconds_, false, [self, alive] {
        if (!alive.expired() && self) {
            self->scopeTimeoutTimer_.reset();
            self->cancelScopeMode();
        }
    });
    NotificationCenter::shared().post(kPierlineScopeModeChangedNotification, {{QStringLiteral("inScope"), true}});
    printLine(QStringLiteral("🎯 Entered Pierline Scope Mode (timeout: %1s)").arg(secondsText(scopeTimeoutSeconds_)));
}

void AdvancedHotkeyManager::scopeActionPressed(const QUuid& presetID) {
    if (!isInScopeMode_)
        return;
    printLine(QStringLiteral("✅ Scope action triggered for preset: %1").arg(uuidText(presetID)));
    auto it = storedActionCallbacks_.find(presetID);
    if (it != storedActionCallbacks_.end() && it->second)
        it->second();
    else
        postSwitchRequest(presetID);
    cancelScopeMode();
}

void AdvancedHotkeyManager::cancelScopeMode() {
    QPointer<AdvancedHotkeyManager> self(this);
    runOnMainAsync([self] {
        if (self)
            self->exitScopeMode();
    });
}

void AdvancedHotkeyManager::exitScopeMode() {
    if (!isInScopeMode_)
        return;
    setState(HotkeyState{}, false);
    scopeActionHotKeys_.clear();
    if (scopeTimeoutTimer_) {
        Timers::shared().cancel(*scopeTimeoutTimer_);
        scopeTimeoutTimer_.reset();
    }
    NotificationCenter::shared().post(kPierlineScopeModeChangedNotification, {{QStringLiteral("inScope"), false}});
    printLine(QStringLiteral("❌ Exited Pierline Scope Mode"));
}

// --- Multi-press ------------------------------------------------------------------------------

void AdvancedHotkeyManager::handleMultiPress(const QUuid& presetID, qint64 required, const Action& action) {
    const QDateTime now = Clock::shared().now();
    MultiPressCounter counter =
        multiPressCounters_.count(presetID) ? multiPressCounters_[presetID] : MultiPressCounter{};
    const bool expired =
        !counter.lastPressAt.isValid() || counter.lastPressAt.msecsTo(now) / 1000.0 >= multiPressWindowMs_;
    counter.count = expired ? 1 : counter.count + 1;
    counter.lastPressAt = now;
    multiPressCounters_[presetID] = counter;

    Timers& timers = Timers::shared();
    if (auto timer = multiPressResetTimers_.find(presetID); timer != multiPressResetTimers_.end())
        timers.cancel(timer->second);
    QPointer<AdvancedHotkeyManager> self(this);
    std::weak_ptr<bool> alive = alive_;
    // The counter is forgotten once the window has strictly passed, one timer tick after it: a press
    // exactly at the window's end still finds it, and the comparison above decides.
    multiPressResetTimers_[presetID] =
        timers.schedule(multiPressWindowMs_ + kTimerTickSeconds, false, [self, alive, presetID] {
            if (alive.expired() || !self)
                return;
            self->multiPressCounters_.erase(presetID);
            self->multiPressResetTimers_.erase(presetID);
        });

    printLine(QStringLiteral("🔢 Multi-press count: %1/%2 for preset: %3")
                  .arg(counter.count)
                  .arg(required)
                  .arg(uuidText(presetID)));
    if (counter.count >= required) {
        printLine(QStringLiteral("🔥 Multi-press (%1×) triggered for preset: %2").arg(required).arg(uuidText(presetID)));
        if (action)
            action();
        multiPressCounters_.erase(presetID);
    }
}

void AdvancedHotkeyManager::setupModifierOnlyMonitoring() {
    if (mode_ != Mode::Live)
        return;
    ModifierMonitor& monitor = ModifierMonitor::shared();
    if (modifierMonitor_) {
        monitor.removeHandler(modifierMonitor_);
        modifierMonitor_ = 0;
    }
    if (modifierOnlyConfigs_.empty())
        return;
    QPointer<AdvancedHotkeyManager> self(this);
    modifierMonitor_ = monitor.addFlagsChangedHandler([self](const FlagsChangedEvent& event) {
        if (self)
            self->modifierFlagsChanged(event);
    });
    printLine(QStringLiteral("🔧 Set up modifier-only monitoring for %1 configs").arg(modifierOnlyConfigs_.size()));
}

void AdvancedHotkeyManager::modifierFlagsChanged(const FlagsChangedEvent& event) {
    if ((event.modifierFlags & kCocoaDeviceIndependentFlagsMask) != 0) {
        // Only a key going down counts: releasing Control while Option stays held keeps Option.
        if (isModifierKeyDown(event.modifierFlags, event.keyCode))
            lastModifierKeyCode_ = event.keyCode;
        return;
    }
    if (!lastModifierKeyCode_)
        return;
    const quint32 released = *lastModifierKeyCode_;
    lastModifierKeyCode_.reset();
    // A copy: an action may change the configurations.
    const HotkeyConfigurations configs = modifierOnlyConfigs_;
    for (const auto& [id, configuration] : configs) {
        if (configuration.triggerType != HotkeyTriggerType::multiPress || !configuration.multiPressKey ||
            !configuration.multiPressCount || configuration.multiPressKey->carbonKeyCode != released)
            continue;
        auto action = storedActionCallbacks_.find(id);
        if (action == storedActionCallbacks_.end() || !action->second)
            continue;
        const Action run = action->second;
        handleMultiPress(id, *configuration.multiPressCount, run);
    }
}

// --- Settings and diagnostics -----------------------------------------------------------------

void AdvancedHotkeyManager::updateSettings(double scopeTimeoutSeconds, double multiPressWindowSeconds) {
    UserDefaults& defaults = UserDefaults::standard();
    const std::pair<const QString*, double> values[] = {{&kScopeTimeoutKey, scopeTimeoutSeconds},
                                                        {&kMultiPressWindowKey, multiPressWindowSeconds}};
    scopeTimeoutSeconds_ = scopeTimeoutSeconds;
    multiPressWindowMs_ = multiPressWindowSeconds;
    for (const auto& [key, value] : values) {
        try {
            defaults.set(*key, value);
        } catch (const UserDefaultsError& error) {
            printWarning(QStringLiteral("Could not write %1: %2").arg(*key, error.message()));
        }
    }
}

QStringList AdvancedHotkeyManager::debugStateLines() const {
    const std::optional<KeyCombination> leader = loadLeaderKey();
    QStringList lines{
        QStringLiteral("=== AdvancedHotkeyManager Debug ==="),
        QStringLiteral("Current State: %1").arg(currentState_.description()),
        QStringLiteral("Is In Scope Mode: %1").arg(isInScopeMode_ ? QStringLiteral("true") : QStringLiteral("false")),
        QStringLiteral("Scope Timeout: %1s").arg(secondsText(scopeTimeoutSeconds_)),
        QStringLiteral("Multi-Press Window: %1s").arg(secondsText(multiPressWindowMs_)),
        QStringLiteral("Leader Key: %1").arg(leader ? leader->displayString() : QStringLiteral("Not set")),
        QStringLiteral("Configurations: %1").arg(configurations_.size()),
    };
    for (const auto& [id, configuration] : configurations_)
        lines.append(QStringLiteral("  - %1: %2").arg(uuidText(id), triggerTypeDisplayName(configuration.triggerType)));
    lines.append(QString(35, QLatin1Char('=')));
    return lines;
}

void AdvancedHotkeyManager::printDebugState() const {
    for (const QString& line : debugStateLines())
        printLine(line);
}

} // namespace pierline
