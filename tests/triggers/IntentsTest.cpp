// The intents, the preset query, user activities and Focus filters in-process: on a real store, and
// with real applies on a sandbox home for the cooldown.
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "app/Sandbox.h"
#include "apply/DockManager.h"
#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "triggers/FocusFilters.h"
#include "triggers/Intents.h"
#include "triggers/SwitchRequest.h"

#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

class IntentsOnAStore : public ::testing::Test {
protected:
    void SetUp() override {
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        DockManager::shared().resetForTesting();
        // Only the presets made here.
        if (const DockPresetPtr made = DockPresetManager::shared().fetchDefaultPreset()) {
            ASSERT_TRUE(DockPresetManager::shared().deletePreset(*made->id()));
        }
        for (const char* name : {"Work", "Play", "Spare"})
            presets.append(DockPresetManager::shared().createPreset(name, encodeApps({"pierline-spacer-1"})));
        SwitchRequester::shared().setStarterForTesting(
            [this](const PresetSnapshot& preset, SwitchOrigin origin, Cooldown cooldown) {
                started.append({preset.name, origin, cooldown});
                QPromise<ApplyHandle> done;
                done.start();
                done.addResult(ApplyHandle{ApplyHandle::Outcome::Written, {}, {}, {}});
                done.finish();
                return done.future();
            });
        logs.clear();
    }
    void TearDown() override {
        SwitchRequester::shared().setStarterForTesting({});
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
    }
    void rewrite(const DockPresetPtr& preset, const std::function<void(DockPreset&)>& change) {
        runOnMainSync([&] {
            change(*preset);
            DockPresetManager::shared().context().save();
        });
    }
    struct Started {
        QString name;
        SwitchOrigin origin;
        Cooldown cooldown;
    };

    TempHome home;
    CapturingLogSink logs;
    QList<DockPresetPtr> presets;
    QList<Started> started;
};

TEST_F(IntentsOnAStore, SuggestedEntitiesKeepTheFirstOfAnIdAndCountSuspiciousNames) {
    rewrite(presets[1], [&](DockPreset& p) { p.setName(QStringLiteral(" NULL \n")); });
    rewrite(presets[2], [&](DockPreset& p) { p.setId(presets[0]->id()); });
    const QList<PresetEntity> entities = PresetQuery::suggestedEntities();
    EXPECT_EQ(entities, (QList<PresetEntity>{{presets[0]->idString(), "Work"}, {presets[1]->idString(), " NULL \n"}}));
    EXPECT_EQ(logs.messages("PresetQuery"),
              (QStringList{"PresetQuery suggestedEntities sanitized duplicateIDs=1, suspiciousNames=1, returned=2, "
                           "source=3",
                           "PresetQuery suggestedEntities returned 2 presets"}));
    for (const QString& name : QStringList{"", "  ", "undefined", "Null", "\tnull\n"})
        EXPECT_TRUE(PresetQuery::isSuspiciousName(name)) << name.toStdString();
    for (const QString& name : QStringList{"nullish", "un defined", "Work"})
        EXPECT_FALSE(PresetQuery::isSuspiciousName(name)) << name.toStdString();
}

TEST_F(IntentsOnAStore, EntitiesForIdentifiersResolveIdsAndObjectUrisAndLogTheMisses) {
    const QString uri = runOnMainSyncResult([&] { return presets[1]->objectIdUri(); });
    const auto found = PresetQuery::entities({presets[0]->idString().toLower(), uri, "Spare", ""});
    EXPECT_EQ(found, (QList<PresetEntity>{{presets[0]->idString(), "Work"}, {presets[1]->idString(), "Play"}}));
    EXPECT_TRUE(logs.logged("PresetQuery resolved 2/4 requested entity identifiers"));
    EXPECT_TRUE(logs.logged("PresetQuery could not resolve requested entity identifier kind=legacy-or-invalid"));
    EXPECT_TRUE(logs.logged("PresetQuery could not resolve requested entity identifier kind=empty"));
}

TEST_F(IntentsOnAStore, RunIntentResolvesByIdThenNameAndKeepsTheCooldown) {
    // The id wins over a stale name; an unknown id falls back to the name.
    EXPECT_EQ(RunPresetIntent::perform({presets[0]->idString(), "Play"}), "Successfully applied preset 'Work'!");
    EXPECT_EQ(RunPresetIntent::perform({"0F0F0F0F-1111-2222-3333-444455556666", "Play"}),
              "Successfully applied preset 'Play'!");
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[0].name, "Work");
    EXPECT_EQ(started[0].origin, SwitchOrigin::Intent);
    EXPECT_EQ(started[0].cooldown, Cooldown::Keep);
    EXPECT_TRUE(logs.logged("Attempting to run preset: Work (ID: " + presets[0]->idString() + ")"));
    try {
        RunPresetIntent::perform({"", "Nope"});
        FAIL() << "an unknown preset must throw";
    } catch (const PresetNotFoundError& error) {
        EXPECT_EQ(error.description(), "Pierline preset 'Nope' was not found");
    }
    EXPECT_EQ(started.size(), 2);
    EXPECT_EQ(ListPresetsIntent::perform().size(), 3);
}

TEST_F(IntentsOnAStore, FocusFiltersFollowARenameBypassTheCooldownAndDoNothingWithoutAPreset) {
    ASSERT_FALSE(FocusFilters::set("Deep Work", PresetEntity::of(*presets[0])));
    ASSERT_FALSE(FocusFilters::set("Sleep", std::nullopt));
    ASSERT_TRUE(DockPresetManager::shared().renamePreset(*presets[0]->id(), "Writing"));
    auto loaded = std::get<QList<FocusFilterEntry>>(FocusFilters::load());
    ASSERT_EQ(loaded.size(), 2);
    EXPECT_EQ(loaded[0].mode, "Deep Work");
    EXPECT_EQ(loaded[0].filter.displayTitle(), "Apply 'Work'");
    EXPECT_EQ(loaded[1].filter.displayTitle(), "Apply 'Unknown Preset'");

    ASSERT_TRUE(loaded[0].filter.perform());
    ASSERT_EQ(started.size(), 1);
    EXPECT_EQ(started[0].name, "Writing");
    EXPECT_EQ(started[0].cooldown, Cooldown::Bypass);
    const QString fid = loaded[0].filter.filterId;
    EXPECT_TRUE(logs.logged("Focus Filter id=" + fid +
                            " resolved to current preset name='Writing' id=" + presets[0]->idString()));
    EXPECT_TRUE(logs.logged("Focus Filter id=" + fid + " handed off preset 'Writing' to DockManager"));
    EXPECT_FALSE(loaded[1].filter.perform());
    EXPECT_TRUE(
        logs.logged("Focus Filter id=" + loaded[1].filter.filterId + " triggered but no preset was configured"));

    // Setting the mode again keeps its filter id; a deleted preset is reported, nothing switches.
    ASSERT_FALSE(FocusFilters::set("Deep Work", PresetEntity::of(*presets[2])));
    loaded = std::get<QList<FocusFilterEntry>>(FocusFilters::load());
    EXPECT_EQ(loaded[0].filter.filterId, fid);
    ASSERT_TRUE(DockPresetManager::shared().deletePreset(*presets[2]->id()));
    EXPECT_THROW(loaded[0].filter.perform(), PresetNotFoundError);
    EXPECT_EQ(started.size(), 1);
    EXPECT_EQ(std::get<bool>(FocusFilters::remove("Sleep")), true);
    EXPECT_EQ(std::get<bool>(FocusFilters::remove("Sleep")), false);
}

TEST_F(IntentsOnAStore, ADamagedFilterTableIsAnErrorAndIsNotOverwritten) {
    UserDefaults::standard().set(FocusFilters::kTableKey, QVariantMap{{"Work", QStringLiteral("not a record")}});
    const auto loaded = FocusFilters::load();
    ASSERT_TRUE(std::holds_alternative<QString>(loaded));
    EXPECT_EQ(std::get<QString>(loaded),
              "The Focus filters (focusFilters_v1) cannot be read: the entry of 'Work' is not a dictionary");
    EXPECT_TRUE(FocusFilters::set("Other", std::nullopt));
    EXPECT_TRUE(std::holds_alternative<QString>(FocusFilters::remove("Work")));
    EXPECT_EQ(UserDefaults::standard().dictionary(FocusFilters::kTableKey)->value("Work").toString(), "not a record");
}

TEST_F(IntentsOnAStore, UserActivitiesRunByNameListOrAreIgnored) {
    EXPECT_FALSE(IntentActivity::continueActivity(IntentActivity::kRunType, {}));
    EXPECT_FALSE(IntentActivity::continueActivity("com.example.other", {{"presetName", "Work"}}));
    rewrite(presets[2], [](DockPreset& p) { p.setName(std::nullopt); });
    EXPECT_FALSE(IntentActivity::continueActivity(IntentActivity::kListType, {{"action", "list"}}));
    EXPECT_TRUE(logs.logged("Available presets: Work, Play, Unnamed"));
    EXPECT_TRUE(IntentActivity::continueActivity(IntentActivity::kRunSpecificType, {{"presetName", "Play"}}));
    EXPECT_TRUE(IntentActivity::continueActivity(IntentActivity::kRunType, {{"presetName", "Work"}}));
    ASSERT_EQ(started.size(), 2);
    EXPECT_EQ(started[0].name, "Play");
    EXPECT_EQ(started[1].cooldown, Cooldown::Keep);
    EXPECT_TRUE(logs.logged("Received user activity: com.example.other"));
}

// Real applies on a sandbox home, on virtual time.
class IntentCooldown : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Sandbox::init(home.path(), true).ok);
        Clock::setShared(&clock);
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        DockManager::shared().resetForTesting();
        UserDefaults::standard().set("useDockutil", false);
        a = PresetEntity::of(*DockPresetManager::shared().createPreset("A", encodeApps({})));
        b = PresetEntity::of(*DockPresetManager::shared().createPreset("B", encodeApps({"pierline-spacer-1"})));
    }
    void TearDown() override {
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
        Clock::setShared(nullptr);
    }
    static ApplyHandle finish(const QFuture<ApplyHandle>& apply) {
        EXPECT_TRUE(waitFor(apply, 30000));
        const ApplyHandle handle = apply.result();
        if (handle.closing) {
            EXPECT_TRUE(waitFor(*handle.closing));
        }
        if (handle.actions) {
            EXPECT_TRUE(waitFor(*handle.actions));
        }
        return handle;
    }
    ApplyHandle run(const PresetEntity& entity) {
        std::optional<QFuture<ApplyHandle>> apply;
        RunPresetIntent::perform(entity, &apply);
        return finish(*apply);
    }

    TempHome home;
    VirtualClock clock;
    PresetEntity a;
    PresetEntity b;
};

TEST_F(IntentCooldown, ASecondRunWithinTheCooldownIsRefusedAFocusChangeIsNot) {
    EXPECT_EQ(run(b).outcome, ApplyHandle::Outcome::Written);
    clock.advance(1.0);
    EXPECT_EQ(run(a).outcome, ApplyHandle::Outcome::HeldByCooldown);
    EXPECT_EQ(DockReader::getDockApps(), QStringList{"pierline-spacer-1"});
    const PierlineFocusFilter focus{"F1", a};
    EXPECT_EQ(finish(*focus.perform()).outcome, ApplyHandle::Outcome::Written);
    EXPECT_EQ(DockReader::getDockApps(), QStringList{});
    EXPECT_EQ(DockManager::shared().lastAppliedPresetName(), "A");
}

} // namespace
