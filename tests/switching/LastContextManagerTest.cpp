#include "support/CapturingLogSink.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "core/LastContextNotificationKeys.h"
#include "core/PresetRecord.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "switching/AppSettings.h"
#include "switching/LastContextWindowManager.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

class LastContext : public ::testing::Test {
protected:
    void SetUp() override {
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
    }
    void TearDown() override {
        manager_.reset();
        settings_.reset();
        QCoreApplication::processEvents();
        DockPresetManager::resetSharedForTesting();
    }
    // Settings are read from the defaults file, so a value the setters refuse can be tested.
    LastContextWindowManager& manager(const QVariantMap& defaults = {}) {
        UserDefaults::standard().set("lastContextEnabled", true);
        for (auto it = defaults.begin(); it != defaults.end(); ++it)
            UserDefaults::standard().set(it.key(), it.value());
        settings_ = std::make_unique<AppSettings>();
        manager_ = std::make_unique<LastContextWindowManager>(
            *settings_, DockPresetManager::shared(), [this](bool interactive) {
                auto panel = std::make_unique<RecordingPanel>(interactive);
                panels.push_back(panel.get());
                return panel;
            });
        return *manager_;
    }
    DockPresetPtr preset(const QString& name, const std::optional<QString>& status = std::nullopt) {
        DockPresetPtr p = DockPresetManager::shared().createPreset(name, encodeApps({}));
        if (status) {
            p->setLastContextStatus(status);
            p->setLastContextUpdatedAt(time.clock.now());
            DockPresetManager::shared().context().save();
        }
        return p;
    }
    RecordingPanel* shown() const {
        auto* panel = static_cast<RecordingPanel*>(manager_->panel());
        return panel && panel->visible() ? panel : nullptr;
    }
    void switchTo(const DockPresetPtr& from, const DockPresetPtr& to) {
        manager_->handleSwitch(from ? from->id() : std::nullopt, from ? from->name() : std::nullopt, to->id(),
                               *to->name());
    }

    TempHome home;
    VirtualTime time;
    CapturingLogSink logs;
    std::unique_ptr<AppSettings> settings_;
    std::unique_ptr<LastContextWindowManager> manager_;
    std::vector<RecordingPanel*> panels;
};

} // namespace

TEST_F(LastContext, OffOpensNothingAndDismissesAnOpenPanel) {
    LastContextWindowManager& m = manager();
    const auto a = preset("A"), b = preset("B", "wrote the intro");
    switchTo(a, b);
    ASSERT_TRUE(shown());
    settings_->setValue("lastContextEnabled", false);
    switchTo(b, a);
    EXPECT_FALSE(shown());
    EXPECT_FALSE(m.currentPopupKind());
    EXPECT_FALSE(m.timerRunning());
    EXPECT_FALSE(m.showEditor(a));
    EXPECT_FALSE(shown());
}

TEST_F(LastContext, PromptForThePresetLeftThenTheNoteOfThePresetEntered) {
    LastContextWindowManager& m = manager();
    const auto a = preset("A", "  half done \n"), b = preset("B", "review PR 12");
    switchTo(a, b);
    ASSERT_TRUE(shown());
    EXPECT_TRUE(shown()->allowsKey());
    EXPECT_TRUE(shown()->activated());
    EXPECT_EQ(m.currentPopupKind(), PopupKind::outgoingPrompt);
    EXPECT_EQ(m.outgoingPresetObjectID(), a->objectIdUri());
    ASSERT_TRUE(m.pendingIncomingContext());
    EXPECT_EQ(m.pendingIncomingContext()->status, "review PR 12");
    const LastContextViewModel& vm = m.viewModel();
    EXPECT_EQ(vm.title(), "Switching to B from A");
    EXPECT_EQ(vm.contextText(), "half done");
    EXPECT_EQ(vm.initialContextText, "half done");
    EXPECT_EQ(vm.countdownText(), "Auto-close in 30s");

    m.viewModel().setContextText("  tests pass, ship it \n\n");
    time.clock.advance(60);
    m.save();
    EXPECT_EQ(a->lastContextStatus(), "tests pass, ship it");
    EXPECT_FALSE(a->lastContextNextSteps());
    EXPECT_EQ(a->lastContextUpdatedAt(), time.clock.now());
    EXPECT_FALSE(DockPresetManager::shared().context().hasChanges());

    // The note of B follows in a panel that never takes the keyboard.
    ASSERT_TRUE(shown());
    EXPECT_FALSE(shown()->allowsKey());
    EXPECT_FALSE(shown()->activated());
    EXPECT_EQ(panels.size(), 2u);
    EXPECT_EQ(panels[0]->alpha(), 1.0);
    EXPECT_EQ(m.currentPopupKind(), PopupKind::incomingDisplay);
    EXPECT_FALSE(m.outgoingPresetObjectID());
    EXPECT_EQ(vm.title(), "Now in B");
    EXPECT_EQ(vm.incomingStatus(), "review PR 12");
    EXPECT_EQ(vm.updatedAtText(time.clock.now()), "1 min. ago");

    // Saving the display stores nothing; it closes for good.
    m.save();
    EXPECT_FALSE(shown());
    EXPECT_EQ(b->lastContextStatus(), "review PR 12");
}

TEST_F(LastContext, BlankNotesCountAsNoneAndAnEmptySaveClearsTheNote) {
    LastContextWindowManager& m = manager({{"lastContextPromptOnSwitch", false}});
    const auto a = preset("A", "old note"), b = preset("B", " \n\t\n ");
    switchTo(a, b);
    EXPECT_FALSE(shown()) << "a blank note is no note";

    settings_->setValue("lastContextPromptOnSwitch", true);
    switchTo(a, b);
    ASSERT_TRUE(shown());
    EXPECT_FALSE(m.pendingIncomingContext());
    m.viewModel().setContextText("   \n");
    m.save();
    EXPECT_FALSE(a->lastContextStatus());
    EXPECT_FALSE(a->lastContextNextSteps());
    EXPECT_FALSE(a->lastContextUpdatedAt());
    EXPECT_FALSE(shown());
}

TEST_F(LastContext, CountdownLastsAtLeastFiveSecondsAndPausesWhereItWas) {
    LastContextWindowManager& m = manager({{"lastContextAutoCloseSeconds", 3.0}});
    const auto a = preset("A"), b = preset("B");
    switchTo(a, b);
    EXPECT_EQ(m.autoCloseDuration(), 5.0);
    time.timers.advanceAndFire(4.9);
    ASSERT_TRUE(shown());
    EXPECT_EQ(m.viewModel().countdownText(), "Auto-close in 1s");
    time.timers.advanceAndFire(0.2);
    EXPECT_FALSE(shown());
    EXPECT_FALSE(a->lastContextStatus()) << "the end of the countdown saves nothing";

    settings_->setValue("lastContextAutoCloseSeconds", 20.0);
    switchTo(a, b);
    time.timers.advanceAndFire(7.7);
    EXPECT_NEAR(m.viewModel().autoCloseRemaining(), 12.3, 0.011);
    m.pauseAutoClose();
    EXPECT_EQ(m.viewModel().countdownText(), "Auto-close paused");
    EXPECT_FALSE(m.timerRunning());
    time.timers.advanceAndFire(100);
    ASSERT_TRUE(shown());
    m.resumeAutoClose();
    time.timers.advanceAndFire(12.2);
    ASSERT_TRUE(shown());
    EXPECT_EQ(m.viewModel().countdownText(), "Auto-close in 1s");
    time.timers.advanceAndFire(0.15);
    EXPECT_FALSE(shown());
}

TEST_F(LastContext, TheEditorNeverClosesByItself) {
    LastContextWindowManager& m = manager({{"lastContextAutoCloseSeconds", 5.0}});
    const auto a = preset("A", "draft");
    ASSERT_TRUE(m.showEditor(a));
    EXPECT_EQ(m.viewModel().title(), "Editing A");
    EXPECT_FALSE(m.viewModel().autoCloseEnabled());
    time.timers.advanceAndFire(600, 0.1);
    ASSERT_TRUE(shown());
    m.pauseAutoClose();
    EXPECT_FALSE(m.viewModel().autoClosePaused());
    m.viewModel().setContextText("final");
    m.save();
    EXPECT_EQ(a->lastContextStatus(), "final");
    EXPECT_FALSE(shown());
}

TEST_F(LastContext, ANewRequestReplacesAnOpenPromptWithoutSaving) {
    LastContextWindowManager& m = manager();
    const auto a = preset("A", "note A"), b = preset("B"), c = preset("C", "note C");
    switchTo(a, b);
    m.viewModel().setContextText("typed but not saved");
    switchTo(b, c);
    EXPECT_EQ(panels.size(), 1u) << "a panel of the same kind is reused";
    EXPECT_EQ(m.outgoingPresetObjectID(), b->objectIdUri());
    EXPECT_EQ(m.viewModel().title(), "Switching to C from B");
    EXPECT_EQ(m.viewModel().contextText(), "");
    EXPECT_EQ(a->lastContextStatus(), "note A");
    EXPECT_EQ(m.viewModel().autoCloseRemaining(), 30.0);

    // A display replacing a prompt remakes the panel.
    settings_->setValue("lastContextPromptOnSwitch", false);
    switchTo(b, c);
    EXPECT_EQ(panels.size(), 2u);
    EXPECT_FALSE(shown()->allowsKey());
}

TEST_F(LastContext, RequestValuesOfTheWrongTypeCountAsAbsent) {
    LastContextWindowManager& m = manager();
    m.startObserving();
    const auto a = preset("A"), b = preset("B", "note B");
    using Keys = LastContextNotificationKeys;
    NotificationCenter::shared().post(
        kPresetSwitchContextRequestedNotification,
        {{Keys::previousPresetID, a->id()->toString()}, {Keys::previousPresetName, 42}, {Keys::newPresetID, *b->id()}});
    QCoreApplication::processEvents();
    // No outgoing preset: B's note alone, under the name of the stored preset.
    ASSERT_TRUE(shown());
    EXPECT_EQ(m.currentPopupKind(), PopupKind::incomingDisplay);
    EXPECT_EQ(m.viewModel().incomingPresetName(), "B");

    const SwitchContextRequest r = SwitchContextRequest::fromUserInfo({{Keys::newPresetName, QUuid::createUuid()}});
    EXPECT_EQ(r.newName, "Preset");
    EXPECT_FALSE(r.newId);
}

TEST_F(LastContext, AnOutgoingIdThatFindsNothingIsNoOutgoingPreset) {
    LastContextWindowManager& m = manager();
    const auto a = preset("A"), b = preset("B");
    // The name matches a stored preset, the id does not: nothing to prompt for, no note to show.
    m.handleSwitch(QUuid::createUuid(), QString("A"), b->id(), "B");
    EXPECT_FALSE(shown());
    // A name alone finds the preset; an unknown new preset is prompted for under the given name.
    m.handleSwitch(std::nullopt, QString("A"), QUuid::createUuid(), "Gone");
    ASSERT_TRUE(shown());
    EXPECT_EQ(m.viewModel().title(), "Switching to Gone from A");
    EXPECT_FALSE(m.pendingIncomingContext());
    EXPECT_EQ(a->lastContextStatus(), std::nullopt);
}

TEST(LastContextTexts, RelativeTimesAndTitles) {
    const QDateTime now(QDate(2026, 5, 1), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(LastContextViewModel::relativeShort(now, now), "0 sec. ago");
    EXPECT_EQ(LastContextViewModel::relativeShort(now.addSecs(-59), now), "59 sec. ago");
    EXPECT_EQ(LastContextViewModel::relativeShort(now.addSecs(-7200), now), "2 hr. ago");
    EXPECT_EQ(LastContextViewModel::relativeShort(now.addDays(-1), now), "1 day ago");
    EXPECT_EQ(LastContextViewModel::relativeShort(now.addDays(-3), now), "3 days ago");
    EXPECT_EQ(LastContextViewModel::relativeShort(now.addDays(-15), now), "2 wk. ago");
    EXPECT_EQ(LastContextViewModel::relativeShort(now.addSecs(300), now), "in 5 min.");
    LastContextViewModel vm;
    vm.setIncomingPresetName("Work");
    EXPECT_EQ(vm.title(), "Switching to Work from previous preset");
    int changes = 0;
    QObject::connect(&vm, &LastContextViewModel::changed, [&] { ++changes; });
    vm.setIncomingPresetName("Work");
    vm.setAutoCloseRemaining(2.01);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(vm.countdownText(), "Auto-close in 3s");
}
