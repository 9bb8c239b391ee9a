#include "triggers/AdvancedHotkeyManager.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/FakeHotkeyRegistrar.h"
#include "support/FakeModifierMonitor.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"
#include "triggers/HotKeysController.h"
#include "triggers/SwitchRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

constexpr quint16 kCommand = 55;
constexpr quint16 kOption = 58;
constexpr quint16 kControl = 59;

const KeyCombination kLeader{49, kCocoaControlFlag | kCocoaOptionFlag}; // ctrl+opt+space
const KeyCombination kActionOne{18, 0};                                 // 1
const KeyCombination kCmdJ{38, kCocoaCommandFlag};

KeyCombo comboOf(const KeyCombination& combination) {
    return *combination.keyCombo();
}

PresetHotkeyConfiguration sequence(const QUuid& id, KeyCombination actionKey) {
    return {id, HotkeyTriggerType::sequence, actionKey, std::nullopt, std::nullopt};
}

PresetHotkeyConfiguration multiPress(const QUuid& id, KeyCombination key, qint64 count) {
    return {id, HotkeyTriggerType::multiPress, std::nullopt, count, key};
}

class AdvancedHotkeyManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        drainMainQueue(); // announcements queued by earlier tests
        for (const QString& name : {kPierlineScopeModeChangedNotification, kSwitchRequestNotification,
                                    kAdvancedHotkeyConfigurationsChangedNotification})
            tokens.push_back(NotificationCenter::shared().addObserver(
                name, Delivery::PosterThread, [this](const Notification& n) { posted.push_back(n); }));
    }
    void TearDown() override {
        for (ObserverToken token : tokens)
            NotificationCenter::shared().removeObserver(token);
        manager.reset();
        EXPECT_EQ(registrar.registrations().size(), 0u) << "a grab outlived its manager";
        EXPECT_EQ(monitor.handlerCount(), 0u);
    }

    AdvancedHotkeyManager& make() {
        manager = std::make_unique<AdvancedHotkeyManager>();
        return *manager;
    }
    // The "inScope" values of the scope notifications so far.
    std::vector<bool> scopeChanges() const {
        std::vector<bool> out;
        for (const auto& n : posted)
            if (n.name == kPierlineScopeModeChangedNotification)
                out.push_back(n.userInfo.value(QStringLiteral("inScope")).toBool());
        return out;
    }
    std::vector<QUuid> switchRequests() const {
        std::vector<QUuid> out;
        for (const auto& n : posted)
            if (n.name == kSwitchRequestNotification)
                out.push_back(switchRequestPresetId(n).value_or(QUuid()));
        return out;
    }
    void pressLeader() {
        ASSERT_TRUE(registrar.press(comboOf(kLeader)));
        drainMainQueue();
    }
    void advance(double seconds) {
        time.timers.advanceAndFire(seconds);
        drainMainQueue();
    }

    TempHome home;
    VirtualTime time;
    FakeHotkeyRegistrar registrar;
    FakeModifierMonitor monitor;
    CapturingLogSink log;
    std::vector<ObserverToken> tokens;
    std::vector<Notification> posted;
    const QUuid presetA = QUuid::createUuid();
    const QUuid presetB = QUuid::createUuid();
    int actionsA = 0;
    int actionsB = 0;
    AdvancedHotkeyManager::Action countA = [this] { ++actionsA; };
    AdvancedHotkeyManager::Action countB = [this] { ++actionsB; };
    std::unique_ptr<AdvancedHotkeyManager> manager;
};

} // namespace

TEST_F(AdvancedHotkeyManagerTest, LeaderThenActionKeySwitchesOnceAndLeavesScope) {
    AdvancedHotkeyManager& m = make();
    m.registerPreset(sequence(presetA, kActionOne), countA);
    m.registerPreset(sequence(presetB, kCmdJ), countB);
    ASSERT_FALSE(m.setLeaderKey(kLeader));

    // Outside scope mode the action keys belong to other applications.
    EXPECT_FALSE(registrar.isRegistered(comboOf(kActionOne)));
    EXPECT_EQ(registrar.press(comboOf(kActionOne)), std::nullopt);

    pressLeader();
    EXPECT_TRUE(m.isInScopeMode());
    EXPECT_EQ(m.currentState().kind, HotkeyState::Kind::inScope);
    EXPECT_EQ(m.currentState().enteredAt, time.clock.now());
    EXPECT_TRUE(registrar.isRegistered(comboOf(kActionOne)));
    EXPECT_TRUE(registrar.isRegistered(comboOf(kCmdJ)));

    // A second leader press neither extends nor ends the scope.
    advance(2.0);
    pressLeader();
    EXPECT_EQ(scopeChanges(), (std::vector<bool>{true}));

    EXPECT_EQ(registrar.press(comboOf(kCmdJ)), HotkeyEventResult::Handled);
    drainMainQueue();
    EXPECT_EQ(actionsB, 1);
    EXPECT_EQ(actionsA, 0);
    EXPECT_FALSE(m.isInScopeMode());
    EXPECT_EQ(m.currentState().kind, HotkeyState::Kind::idle);
    EXPECT_EQ(scopeChanges(), (std::vector<bool>{true, false}));
    EXPECT_FALSE(registrar.isRegistered(comboOf(kActionOne)));
    EXPECT_EQ(time.timers.pending(), 0) << "the scope timer must go with the scope";
}

TEST_F(AdvancedHotkeyManagerTest, ScopeTimesOutAfterTheConfiguredSeconds) {
    AdvancedHotkeyManager& m = make();
    m.registerPreset(sequence(presetA, kActionOne), countA);
    m.setLeaderKey(kLeader);

    pressLeader();
    advance(2.95);
    EXPECT_TRUE(m.isInScopeMode());
    advance(0.05);
    EXPECT_FALSE(m.isInScopeMode());
    EXPECT_EQ(scopeChanges(), (std::vector<bool>{true, false}));
    // Too late: the key is no longer ours.
    EXPECT_EQ(registrar.press(comboOf(kActionOne)), std::nullopt);
    EXPECT_EQ(actionsA, 0);

    // A changed timeout holds from the next scope on, and both values are stored at once.
    m.updateSettings(5.0, 0.8);
    EXPECT_EQ(UserDefaults::standard().doubleValue(AdvancedHotkeyManager::kScopeTimeoutKey), 5.0);
    EXPECT_EQ(UserDefaults::standard().doubleValue(AdvancedHotkeyManager::kMultiPressWindowKey), 0.8);
    pressLeader();
    advance(4.9);
    EXPECT_TRUE(m.isInScopeMode());
    m.cancelScopeMode();
    EXPECT_TRUE(m.isInScopeMode()) << "cancel runs from the main queue";
    drainMainQueue();
    EXPECT_FALSE(m.isInScopeMode());
    EXPECT_EQ(scopeChanges(), (std::vector<bool>{true, false, true, false}));
}

TEST_F(AdvancedHotkeyManagerTest, RemovingTheLeaderKeyStopsScopeMode) {
    AdvancedHotkeyManager& m = make();
    m.setLeaderKey(kLeader);
    ASSERT_TRUE(UserDefaults::standard().contains(AdvancedHotkeyManager::kLeaderKeyKey));
    ASSERT_FALSE(m.setLeaderKey(std::nullopt));
    EXPECT_FALSE(UserDefaults::standard().contains(AdvancedHotkeyManager::kLeaderKeyKey));
    EXPECT_EQ(registrar.press(comboOf(kLeader)), std::nullopt);
    // A code that names no key cannot be a leader: it clears the stored one too.
    m.setLeaderKey(kLeader);
    m.setLeaderKey(KeyCombination{102, 0});
    EXPECT_FALSE(UserDefaults::standard().contains(AdvancedHotkeyManager::kLeaderKeyKey));
    EXPECT_EQ(m.getLeaderKey(), std::nullopt);
}

TEST_F(AdvancedHotkeyManagerTest, MultiPressCountsWithinTheWindowInSeconds) {
    struct Case {
        const char* name;
        qint64 required;
        std::vector<double> gaps; // before each press after the first
        int triggers;
    };
    const Case cases[] = {
        {"double, 0.3 s apart", 2, {0.3}, 1},
        {"double, 0.6 s apart never", 2, {0.6, 0.6, 0.6}, 0},
        {"double, just inside the window", 2, {0.499}, 1},
        {"double, exactly the window restarts", 2, {0.5}, 0},
        {"triple pressed four times", 3, {0.1, 0.1, 0.1}, 1},
        {"triple pressed six times", 3, {0.1, 0.1, 0.1, 0.1, 0.1}, 2},
        {"single press", 1, {0.1}, 2},
    };
    for (const Case& c : cases) {
        actionsA = 0;
        AdvancedHotkeyManager& m = make();
        m.registerPreset(multiPress(presetA, kCmdJ, c.required), countA);
        ASSERT_EQ(registrar.press(comboOf(kCmdJ)), HotkeyEventResult::Handled) << c.name;
        for (double gap : c.gaps) {
            advance(gap);
            registrar.press(comboOf(kCmdJ));
        }
        EXPECT_EQ(actionsA, c.triggers) << c.name;
        // The reset timer forgets a lone last press once the window has strictly passed.
        advance(0.5);
        EXPECT_EQ(time.timers.pending(), 1) << c.name;
        advance(0.001);
        EXPECT_EQ(time.timers.pending(), 0) << c.name;
        manager.reset();
    }
}

TEST_F(AdvancedHotkeyManagerTest, ModifierTapsCountTheLastModifierThatWentDown) {
    struct Case {
        const char* name;
        std::function<void(FakeModifierMonitor&)> tap;
        int triggers; // after two such taps `gap` apart
        double gap = 0.2;
    };
    const Case cases[] = {
        {"Option", [](FakeModifierMonitor& f) { f.tap(kOption); }, 1},
        {"Option 0.4 s apart", [](FakeModifierMonitor& f) { f.tap(kOption); }, 1, 0.4},
        {"Option 0.6 s apart", [](FakeModifierMonitor& f) { f.tap(kOption); }, 0, 0.6},
        {"Control then Option, Control up first",
         [](FakeModifierMonitor& f) {
             f.down(kControl);
             f.down(kOption);
             f.up(kControl);
             f.up(kOption);
         },
         1},
        {"Command then Option, Option up first",
         [](FakeModifierMonitor& f) {
             f.down(kCommand);
             f.down(kOption);
             f.up(kOption);
             f.up(kCommand);
         },
         1},
        {"Option then Control",
         [](FakeModifierMonitor& f) {
             f.down(kOption);
             f.down(kControl);
             f.up(kOption);
             f.up(kControl);
         },
         0},
        {"right Option is another key", [](FakeModifierMonitor& f) { f.tap(61); }, 0},
        {"Control", [](FakeModifierMonitor& f) { f.tap(kControl); }, 0},
    };
    for (const Case& c : cases) {
        actionsA = 0;
        AdvancedHotkeyManager& m = make();
        m.registerPreset(multiPress(presetA, KeyCombination{kOption, 0}, 2), countA);
        EXPECT_EQ(monitor.handlerCount(), 1u);
        EXPECT_TRUE(registrar.registrations().empty()) << "a bare modifier is watched, never grabbed";
        c.tap(monitor);
        advance(c.gap);
        c.tap(monitor);
        EXPECT_EQ(actionsA, c.triggers) << c.name;
        manager.reset();
    }
}

TEST_F(AdvancedHotkeyManagerTest, ReRegisteringDropsWhatThePresetHadBefore) {
    AdvancedHotkeyManager& m = make();
    m.registerPreset(multiPress(presetA, KeyCombination{kOption, 0}, 2), countA);
    // Now a key sequence: the old Option double-tap must stop switching.
    m.registerPreset(sequence(presetA, kActionOne), countA);
    EXPECT_EQ(monitor.handlerCount(), 0u);
    monitor.tap(kOption);
    monitor.tap(kOption);
    EXPECT_EQ(actionsA, 0);

    m.registerPreset(multiPress(presetA, kCmdJ, 2), countA);
    m.registerPreset(multiPress(presetA, kActionOne, 2), countB);
    EXPECT_FALSE(registrar.isRegistered(comboOf(kCmdJ)));
    registrar.press(comboOf(kActionOne));
    registrar.press(comboOf(kActionOne));
    EXPECT_EQ(actionsA, 0);
    EXPECT_EQ(actionsB, 1);

    // A new action for a multi-press re-registers its key with that action.
    m.setActionCallback(presetA, countA);
    registrar.press(comboOf(kActionOne));
    registrar.press(comboOf(kActionOne));
    EXPECT_EQ(actionsA, 1);
    EXPECT_EQ(actionsB, 1);
}

TEST_F(AdvancedHotkeyManagerTest, ChangesAreStoredAndAnnouncedFromTheMainQueue) {
    AdvancedHotkeyManager& m = make();
    m.registerPreset(multiPress(presetA, kCmdJ, 2), countA);
    m.registerPreset(sequence(presetB, kActionOne), countB);
    auto changes = [this] {
        return std::count_if(posted.begin(), posted.end(), [](const Notification& n) {
            return n.name == kAdvancedHotkeyConfigurationsChangedNotification;
        });
    };
    EXPECT_EQ(changes(), 0);
    drainMainQueue();
    EXPECT_EQ(changes(), 2);

    const QByteArray stored = *UserDefaults::standard().data(AdvancedHotkeyManager::kConfigurationsKey);
    const QJsonArray array = QJsonDocument::fromJson(stored).array();
    ASSERT_EQ(array.size(), 4);
    for (int i = 0; i < 4; i += 2) {
        const QJsonObject configuration = array[i + 1].toObject();
        EXPECT_EQ(array[i].toString(), configuration.value(QStringLiteral("presetID")).toString());
        EXPECT_EQ(array[i].toString(), array[i].toString().toUpper());
        if (configuration.value(QStringLiteral("triggerType")) == QStringLiteral("sequence"))
            EXPECT_EQ(configuration.keys(), (QStringList{"actionKey", "presetID", "triggerType"}));
        else
            EXPECT_EQ(configuration.keys(),
                      (QStringList{"multiPressCount", "multiPressKey", "presetID", "triggerType"}));
    }

    ASSERT_FALSE(m.removePreset(presetA));
    EXPECT_FALSE(registrar.isRegistered(comboOf(kCmdJ)));
    EXPECT_EQ(AdvancedHotkeyManager::readStoredConfigurations(nullptr)->size(), 1u);
    drainMainQueue();
    EXPECT_EQ(changes(), 3);
}

TEST_F(AdvancedHotkeyManagerTest, StartUpLoadsTimingsConfigurationsAndLeaderWithTheSwitchRequestAsAction) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.set(AdvancedHotkeyManager::kScopeTimeoutKey, 2.0);
    defaults.set(AdvancedHotkeyManager::kMultiPressWindowKey, QStringLiteral("0.9")); // not a double: ignored
    defaults.set(AdvancedHotkeyManager::kLeaderKeyKey, kLeader.toJsonBytes());
    defaults.set(AdvancedHotkeyManager::kConfigurationsKey,
                 encodeHotkeyConfigurations(
                     {{presetA, multiPress(presetA, kCmdJ, 2)}, {presetB, sequence(presetB, kActionOne)}}));
    AdvancedHotkeyManager& m = make();
    EXPECT_EQ(m.scopeTimeoutSeconds(), 2.0);
    EXPECT_EQ(m.multiPressWindowSeconds(), 0.5);
    EXPECT_EQ(m.getAllConfigurations().size(), 2u);

    registrar.press(comboOf(kCmdJ));
    registrar.press(comboOf(kCmdJ));
    pressLeader();
    registrar.press(comboOf(kActionOne));
    EXPECT_EQ(switchRequests(), (std::vector<QUuid>{presetA, presetB}));
}

TEST_F(AdvancedHotkeyManagerTest, DamagedStoredDataIsReportedAndKeptUntilADeliberateChange) {
    UserDefaults& defaults = UserDefaults::standard();
    const QByteArray damaged = R"(["not-a-uuid", {"triggerType": "single"}])";
    defaults.set(AdvancedHotkeyManager::kConfigurationsKey, damaged);
    defaults.set(AdvancedHotkeyManager::kLeaderKeyKey, QByteArray("{\"carbonKeyCode\": -1}"));
    AdvancedHotkeyManager& m = make();
    EXPECT_TRUE(m.getAllConfigurations().empty());
    EXPECT_TRUE(m.configurationsLoadError().has_value());
    ASSERT_EQ(log.warningLines().size(), 2);
    EXPECT_TRUE(log.warningLines()[0].startsWith(QStringLiteral("Error loading advanced hotkey configurations: ")));
    EXPECT_TRUE(log.warningLines()[1].startsWith(QStringLiteral("Error loading leader key: ")));

    // Deleting an unrelated preset must not replace what could not be read.
    m.removePreset(presetB);
    EXPECT_EQ(defaults.data(AdvancedHotkeyManager::kConfigurationsKey), damaged);
    m.registerPreset(sequence(presetA, kActionOne), countA);
    EXPECT_EQ(AdvancedHotkeyManager::readStoredConfigurations(nullptr)->size(), 1u);
    EXPECT_FALSE(m.configurationsLoadError().has_value());
}

TEST(AdvancedHotkeyConfigurationJson, RejectsWhatIsNotAnAlternatingArrayOfValidPairs) {
    const QString id = uuidText(QUuid::createUuid());
    const auto pair = [&](const QString& configuration) {
        return QStringLiteral(R"(["%1", %2])").arg(id, configuration).toUtf8();
    };
    const QByteArray accepted[] = {
        "[]",
        pair(QStringLiteral(R"({"presetID": "%1", "triggerType": "single"})").arg(id)),
        pair(QStringLiteral(R"({"presetID": "%1", "triggerType": "multiPress", "multiPressCount": 2.0,
              "multiPressKey": {"carbonKeyCode": 58, "modifierRawValue": 0}, "actionKey": null})")
                 .arg(id.toLower())),
    };
    for (const QByteArray& data : accepted) {
        QString error;
        EXPECT_TRUE(decodeHotkeyConfigurations(data, &error)) << data.constData() << " " << error.toStdString();
    }
    const QByteArray rejected[] = {
        "",
        "{}",
        "[1]",
        QStringLiteral(R"(["%1"])").arg(id).toUtf8(),
        pair(QStringLiteral("[]")),
        pair(QStringLiteral(R"({"presetID": "%1", "triggerType": "double"})").arg(id)),
        pair(QStringLiteral(R"({"presetID": "{%1}", "triggerType": "single"})").arg(id)),
        pair(QStringLiteral(R"({"triggerType": "single"})")),
        pair(QStringLiteral(R"({"presetID": "%1", "triggerType": "multiPress", "multiPressCount": 2.5})").arg(id)),
        pair(QStringLiteral(R"({"presetID": "%1", "triggerType": "multiPress", "multiPressCount": "2"})").arg(id)),
        pair(QStringLiteral(R"({"presetID": "%1", "triggerType": "sequence", "actionKey": {"carbonKeyCode": 1}})")
                 .arg(id)),
    };
    for (const QByteArray& data : rejected) {
        QString error;
        EXPECT_FALSE(decodeHotkeyConfigurations(data, &error)) << data.constData();
        EXPECT_FALSE(error.isEmpty()) << data.constData();
    }
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const HotkeyConfigurations roundTrip{{a, sequence(a, kCmdJ)}, {b, multiPress(b, KeyCombination{kOption, 0}, 3)}};
    EXPECT_EQ(decodeHotkeyConfigurations(encodeHotkeyConfigurations(roundTrip)), roundTrip);
}
