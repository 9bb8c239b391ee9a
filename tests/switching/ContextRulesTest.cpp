// Context rules: their stored table, which rule wins, and the settle-time switching on fake
// watchers and virtual time.
#include "switching/ContextRules.h"
#include "switching/ContextSwitcher.h"

#include "core/SettingDescriptors.h"
#include "platform/UserDefaults.h"
#include "support/CapturingLogSink.h"
#include "support/FakeContextWatchers.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <set>

namespace pierline {
namespace {

using Kind = ContextCondition::Kind;

ContextCondition workspaceIs(int n) {
    return {Kind::Workspace, n, {}, false, {}};
}
ContextCondition named(Kind kind, const QString& name) {
    return {kind, 0, name, false, {}};
}
ContextCondition dnd(bool on) {
    return {Kind::DoNotDisturb, 0, {}, on, {}};
}
ContextCondition displays(const QStringList& names) {
    return {Kind::Displays, 0, {}, false, names};
}

StoredContextRule stored(const ContextCondition& condition, const QUuid& preset) {
    return {ContextRule{condition, preset}, {}, {}};
}

void storeRules(const QList<StoredContextRule>& rules) {
    ASSERT_EQ(ContextRuleTable::edit([&](QList<StoredContextRule>& table) -> std::optional<QString> {
                  table = rules;
                  return std::nullopt;
              }),
              std::nullopt);
}

TEST(ContextCondition, HoldsOnlyForAKnownMatchingContext) {
    DesktopContext unknown;
    DesktopContext known;
    known.workspace = 2;
    known.workspaceName = "Mail";
    known.doNotDisturb = true;
    known.displays = QStringList{"eDP-1", "HDMI-1"};
    known.networks = QStringList{"Home", "Work VPN"};
    DesktopContext offline = known;
    offline.networks = QStringList{};

    const struct {
        ContextCondition condition;
        const DesktopContext& context;
        bool holds;
    } cases[] = {
        {workspaceIs(2), known, true},
        {workspaceIs(0), known, false},
        {workspaceIs(0), unknown, false},
        {named(Kind::WorkspaceName, "Mail"), known, true},
        {named(Kind::WorkspaceName, "mail"), known, false},
        {dnd(true), known, true},
        {dnd(false), known, false},
        {dnd(false), unknown, false},
        // Exactly this set, in any order; a subset is not it.
        {displays({"HDMI-1", "eDP-1"}), known, true},
        {displays({"HDMI-1"}), known, false},
        {displays({"HDMI-1", "eDP-1", "DP-2"}), known, false},
        {named(Kind::Display, "HDMI-1"), known, true},
        {named(Kind::Display, "DP-2"), known, false},
        {named(Kind::Display, "HDMI-1"), unknown, false},
        {named(Kind::Network, "Work VPN"), known, true},
        {named(Kind::Network, "Cafe"), known, false},
        {{Kind::Offline, 0, {}, false, {}}, offline, true},
        {{Kind::Offline, 0, {}, false, {}}, known, false},
        // No network watcher is not offline.
        {{Kind::Offline, 0, {}, false, {}}, unknown, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.condition.holds(c.context), c.holds) << c.condition.text().toStdString();
}

TEST(ContextRuleTable, RulesRoundTripAndUnreadableEntriesAreKeptAsStored) {
    test::TempHome home;
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
    const QList<ContextCondition> conditions = {workspaceIs(3),
                                                named(Kind::WorkspaceName, "Code"),
                                                dnd(false),
                                                displays({"HDMI-1", "eDP-1"}),
                                                named(Kind::Display, "DP-1"),
                                                named(Kind::Network, "Home"),
                                                {Kind::Offline, 0, {}, false, {}}};
    QList<StoredContextRule> rules;
    for (const ContextCondition& c : conditions)
        rules.append(stored(c, a));
    storeRules(rules);
    QString error;
    auto read = ContextRuleTable::read(&error);
    ASSERT_TRUE(read) << error.toStdString();
    ASSERT_EQ(read->size(), conditions.size());
    for (qsizetype i = 0; i < conditions.size(); ++i) {
        ASSERT_TRUE((*read)[i].rule) << (*read)[i].error.toStdString();
        EXPECT_EQ((*read)[i].rule->condition, conditions[i]);
        EXPECT_EQ((*read)[i].rule->presetId, a);
    }

    // Entries written by a newer version, or damaged, stay where they are through a change.
    const QJsonArray damaged = QJsonDocument::fromJson(QStringLiteral(R"([
        {"condition": "workspace", "workspace": 1, "presetID": "%1"},
        {"condition": "moon-phase", "presetID": "%1"},
        {"condition": "workspace", "workspace": -1, "presetID": "%1"},
        {"condition": "displays", "names": ["HDMI-1", ""], "presetID": "%1"},
        {"condition": "network", "name": "Home"},
        "text"])")
                                                           .arg(a.toString(QUuid::WithoutBraces))
                                                           .toUtf8())
                                   .array();
    ASSERT_EQ(damaged.size(), 6);
    UserDefaults::standard().set(ContextRuleTable::kKey, QJsonDocument(damaged).toJson());
    read = ContextRuleTable::read(&error);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), damaged.size());
    EXPECT_TRUE((*read)[0].rule);
    for (qsizetype i = 1; i < damaged.size(); ++i)
        EXPECT_FALSE((*read)[i].rule) << i;
    EXPECT_EQ((*read)[1].error, "unknown condition 'moon-phase'");
    EXPECT_EQ((*read)[4].error, "no preset identifier");

    ASSERT_EQ(ContextRuleTable::edit([&](QList<StoredContextRule>& table) -> std::optional<QString> {
                  table.append(stored(dnd(true), b));
                  table.move(0, table.size() - 1);
                  return std::nullopt;
              }),
              std::nullopt);
    const QJsonArray after = QJsonDocument::fromJson(*UserDefaults::standard().data(ContextRuleTable::kKey)).array();
    ASSERT_EQ(after.size(), damaged.size() + 1);
    for (qsizetype i = 1; i < damaged.size(); ++i)
        EXPECT_EQ(after[i - 1], damaged[i]) << i;
    QString why;
    const auto moved = contextRuleFromJson(after.last(), &why);
    ASSERT_TRUE(moved) << why.toStdString();
    EXPECT_EQ(moved->condition, workspaceIs(1));
    EXPECT_EQ(moved->presetId, a);
}

TEST(ContextRuleTable, AValueThatIsNoListRefusesEveryChangeAndIsNeverOverwritten) {
    test::TempHome home;
    const QVariant values[] = {QVariant(QByteArray("{not json")), QVariant(QByteArray("{\"a\": 1}")),
                               QVariant(QStringLiteral("a string"))};
    for (const QVariant& value : values) {
        UserDefaults::standard().set(ContextRuleTable::kKey, value);
        QString error;
        EXPECT_FALSE(ContextRuleTable::read(&error));
        EXPECT_FALSE(error.isEmpty());
        bool called = false;
        const auto refused = ContextRuleTable::edit([&](QList<StoredContextRule>&) -> std::optional<QString> {
            called = true;
            return std::nullopt;
        });
        ASSERT_TRUE(refused);
        EXPECT_TRUE(refused->startsWith("the stored rules cannot be read")) << refused->toStdString();
        EXPECT_FALSE(called);
        EXPECT_EQ(UserDefaults::standard().object(ContextRuleTable::kKey), value);
    }
}

// A switcher on fake watchers; switches are recorded, and the last one counts as applied.
class Switching : public ::testing::Test {
protected:
    void SetUp() override {
        auto w = std::make_unique<test::FakeWorkspaceWatcher>();
        auto d = std::make_unique<test::FakeDoNotDisturbWatcher>();
        auto s = std::make_unique<test::FakeDisplaySetWatcher>();
        auto n = std::make_unique<test::FakeNetworkWatcher>();
        workspace = w.get();
        dndWatcher = d.get();
        screens = s.get();
        network = n.get();
        set.workspace = std::move(w);
        set.doNotDisturb = std::move(d);
        set.displays = std::move(s);
        set.network = std::move(n);
    }

    ContextSwitcher& start() {
        ContextSwitcher::Hooks hooks{[this](const QUuid& id) {
                                         switches.append(id);
                                         applied = id;
                                         return true;
                                     },
                                     [this] { return applied; }, [this](const QUuid& id) { return !gone.count(id); }};
        switcher = std::make_unique<ContextSwitcher>(std::move(set), std::move(hooks));
        switcher->start();
        return *switcher;
    }

    void settle() { time.timers.advanceAndFire(readDoubleSetting(Setting::ContextSettleSeconds) + 0.01); }
    void onWorkspace(int n) { workspace->set(WorkspaceWatcher::Workspace{n, {}}); }

    test::TempHome home;
    test::VirtualTime time;
    test::CapturingLogSink log;
    ContextWatcherSet set;
    test::FakeWorkspaceWatcher* workspace = nullptr;
    test::FakeDoNotDisturbWatcher* dndWatcher = nullptr;
    test::FakeDisplaySetWatcher* screens = nullptr;
    test::FakeNetworkWatcher* network = nullptr;
    std::unique_ptr<ContextSwitcher> switcher;
    QList<QUuid> switches;
    std::optional<QUuid> applied;
    std::set<QUuid> gone;
    const QUuid mail = QUuid::createUuid(), code = QUuid::createUuid(), quiet = QUuid::createUuid();
};

TEST_F(Switching, ABurstOfChangesSwitchesOnceToWhereTheUserStopped) {
    storeRules({stored(workspaceIs(1), mail), stored(workspaceIs(2), code), stored(workspaceIs(3), quiet)});
    onWorkspace(0);
    start();
    EXPECT_TRUE(switches.isEmpty());

    for (int n : {1, 2, 3, 1, 2}) {
        onWorkspace(n);
        time.timers.advanceAndFire(0.1);
    }
    EXPECT_TRUE(switches.isEmpty()) << "switched before the context settled";
    EXPECT_TRUE(switcher->settling());
    settle();
    EXPECT_EQ(switches, QList<QUuid>{code});
    EXPECT_FALSE(switcher->settling());

    // The same rule still winning after more flips is no new switch; another rule is.
    onWorkspace(0);
    onWorkspace(2);
    settle();
    EXPECT_EQ(switches, QList<QUuid>{code});
    onWorkspace(3);
    settle();
    EXPECT_EQ(switches, (QList<QUuid>{code, quiet}));

    // The settle time comes from the settings at each change.
    UserDefaults::standard().set(settingDescriptor(Setting::ContextSettleSeconds).key, 2.0);
    onWorkspace(1);
    time.timers.advanceAndFire(1.9);
    EXPECT_EQ(switches.size(), 2);
    time.timers.advanceAndFire(0.2);
    EXPECT_EQ(switches.last(), mail);
}

TEST_F(Switching, TheFirstRuleThatHoldsWinsAndAGonePresetIsSkippedAndReported) {
    storeRules({stored(dnd(true), quiet), stored(named(Kind::Display, "HDMI-1"), code),
                stored(named(Kind::Network, "Home"), mail)});
    screens->value = QStringList{"HDMI-1", "eDP-1"};
    network->value = QStringList{"Home"};
    dndWatcher->value = false;
    start();
    EXPECT_EQ(switches, QList<QUuid>{code});

    dndWatcher->set(true);
    settle();
    EXPECT_EQ(switches, (QList<QUuid>{code, quiet}));

    // The first rule's preset is deleted: the next rule that holds wins.
    gone.insert(quiet);
    network->set(QStringList{"Home", "Work VPN"});
    settle();
    EXPECT_EQ(switches, (QList<QUuid>{code, quiet, code}));
    EXPECT_TRUE(log.warnedContaining("Context rule 0 (dnd on) names a preset that is gone"))
        << log.warningLines().join('\n').toStdString();
}

TEST_F(Switching, NoSwitchToThePresetAlreadyAppliedNorWhileRulesAreOff) {
    storeRules({stored(workspaceIs(1), mail), stored(workspaceIs(2), code)});
    onWorkspace(1);
    applied = mail;
    start();
    EXPECT_TRUE(switches.isEmpty()) << "switched to the preset already on the dock";

    UserDefaults::standard().set(settingDescriptor(Setting::ContextRulesEnabled).key, false);
    onWorkspace(2);
    settle();
    EXPECT_TRUE(switches.isEmpty());

    UserDefaults::standard().set(settingDescriptor(Setting::ContextRulesEnabled).key, true);
    onWorkspace(2);
    settle();
    EXPECT_EQ(switches, QList<QUuid>{code});
}

TEST_F(Switching, StartUpEvaluatesOnceAndAMissingSourceLeavesTheOthersWorking) {
    storeRules({stored(workspaceIs(0), mail), stored(named(Kind::Network, "Home"), code)});
    workspace->problem = QStringLiteral("no X server");
    network->value = QStringList{"Home"};
    start();
    EXPECT_EQ(switches, QList<QUuid>{code}) << "start-up did not match the context";
    EXPECT_TRUE(log.printed("[ContextRules] Not watching workspace: no X server"));
    const QList<ContextWatcherStatus> statuses = switcher->watchers().statuses();
    ASSERT_EQ(statuses.size(), 4);
    EXPECT_EQ(statuses[0].problem, QStringLiteral("no X server"));
    for (qsizetype i = 1; i < statuses.size(); ++i)
        EXPECT_FALSE(statuses[i].problem) << statuses[i].source.toStdString();

    network->set(QStringList{});
    settle();
    applied = mail; // switched by hand while offline
    network->set(QStringList{"Home"});
    settle();
    EXPECT_EQ(switches, (QList<QUuid>{code, code}));
}

TEST_F(Switching, AnUnreadableTableSwitchesNothingAndIsLeftAlone) {
    const QByteArray damaged("[{\"condition\": ");
    UserDefaults::standard().set(ContextRuleTable::kKey, damaged);
    onWorkspace(1);
    start();
    onWorkspace(2);
    settle();
    EXPECT_TRUE(switches.isEmpty());
    EXPECT_TRUE(log.warnedContaining("Context rules are not used: the stored rules cannot be read"));
    EXPECT_EQ(UserDefaults::standard().data(ContextRuleTable::kKey), damaged);
}

} // namespace
} // namespace pierline
