// The preset and action shortcuts on the fake registrar, alert and notification service, with
// virtual time: stored tables (good, stale and damaged), the switch path and its confirmation,
// and the save action.
#include "support/CapturingLogSink.h"
#include "support/DockPlist.h"
#include "support/EventLoop.h"
#include "support/FakeAlertPresenter.h"
#include "support/FakeHotkeyRegistrar.h"
#include "support/FakeUserNotifications.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "apply/DockManager.h"
#include "core/PresetRecord.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/ShortcutManager.h"
#include "triggers/SwitchRequest.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

UserDefaults& defaults() {
    return UserDefaults::standard();
}

QVariantMap entry(QVariant key, QVariant modifiers) {
    QVariantMap out;
    if (key.isValid())
        out.insert("key", key);
    if (modifiers.isValid())
        out.insert("modifiers", modifiers);
    return out;
}

const KeyCombo kCmdOne(Key::one, kCocoaCommandFlag);
const KeyCombo kCmdOptTwo(Key::two, kCocoaCommandFlag | kCocoaOptionFlag);

class Shortcuts : public ::testing::Test {
protected:
    void SetUp() override {
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        DockManager::shared().resetForTesting();
        work = *DockPresetManager::shared().createPreset("Work", encodeApps({"file:///Applications/Mail.app/"}))->id();
        play = *DockPresetManager::shared().createPreset("Play", encodeApps({}))->id();
        didChange = NotificationCenter::shared().addObserver(kShortcutsDidChangeNotification, Delivery::PosterThread,
                                                             [this](const Notification&) { ++changes; });
        DockPresetManager::shared().setPresetDeletionHandler(DockPresetManager::DeletionHook::Triggers,
                                                             &ShortcutManager::removeTriggersOfDeletedPreset);
        SwitchRequester& switches = SwitchRequester::shared();
        switches.setFetcherForTesting([this](const QUuid& id) {
            ++fetches;
            return DockPresetManager::shared().fetchPreset(id);
        });
        switches.setApplierForTesting([this](const PresetSnapshot& preset, SwitchOrigin origin) {
            applied.append({preset.id.value_or(QUuid()), preset.name});
            origins.append(origin);
            snapshots.append(preset);
        });
    }
    void TearDown() override {
        manager.reset();
        ShortcutManager::resetShared();
        SwitchRequester::shared().setFetcherForTesting({});
        SwitchRequester::shared().setApplierForTesting({});
        NotificationCenter::shared().removeObserver(didChange);
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
    }

    ShortcutManager& start(ShortcutManager::Loading loading = ShortcutManager::Loading::Now) {
        manager = std::make_unique<ShortcutManager>(loading);
        return *manager;
    }
    QVariantMap presetTable() const {
        return defaults().dictionary(ShortcutManager::kPresetTableKey).value_or(QVariantMap());
    }

    TempHome home;
    VirtualTime time;
    CapturingLogSink logs;
    FakeHotkeyRegistrar keyboard;
    FakeAlertPresenter alerts;
    FakeUserNotifications notifications;
    QUuid work, play;
    std::unique_ptr<ShortcutManager> manager;
    QList<std::pair<QUuid, QString>> applied;
    QList<SwitchOrigin> origins;
    QList<PresetSnapshot> snapshots;
    int fetches = 0;
    int changes = 0;
    ObserverToken didChange = 0;
};

} // namespace

TEST(ShortcutTable, DamagedEntriesReadAsUnusableAndOtherValuesAreNotEntries) {
    struct Case {
        const char* name;
        QVariant value;
        bool usable;
    };
    const QList<Case> cases = {
        {"code and flags", entry(18, qulonglong(0x180000)), true},
        {"unsigned 64-bit flags", entry(qulonglong(18), qulonglong(0xFFFFFFFFFFFFFFFF)), true},
        {"code no key names", entry(52, 0), false},
        {"code past 32 bits", entry(qlonglong(0x100000012), 0), false},
        {"negative code", entry(-1, 0), false},
        {"code as text", entry("18", 0), false},
        {"code as real", entry(18.0, 0), false},
        {"flags as boolean", entry(18, true), false},
        {"negative flags", entry(18, -5), false},
        {"no flags", entry(18, {}), false},
        {"no code", entry({}, 0), false},
    };
    QVariantMap table;
    for (const Case& c : cases)
        table.insert(c.name, c.value);
    table.insert("a list", QVariantList{18, 0});
    table.insert("a number", 7);
    const QList<StoredShortcutRow> rows = readShortcutTable(table);
    ASSERT_EQ(rows.size(), cases.size());
    for (const Case& c : cases) {
        const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.tableKey == c.name; });
        ASSERT_NE(row, rows.end()) << c.name;
        EXPECT_EQ(row->shortcut.has_value(), c.usable) << c.name;
    }
    for (const QVariant& notATable : {QVariant("text"), QVariant(QVariantList{table}), QVariant()})
        EXPECT_TRUE(readShortcutTable(notATable).isEmpty());
}

TEST_F(Shortcuts, LoadingKeepsUnreadableEntriesAndDropsThoseOfDeletedPresets) {
    const QUuid gone = QUuid::createUuid();
    const QVariantMap unreadable{
        {"not-a-uuid", entry(19, 0)}, {uuidText(play), entry(52, 0)}, {"stray", "not a dictionary"}};
    QVariantMap stored = unreadable;
    stored.insert(uuidText(work), entry(18, qulonglong(kCocoaCommandFlag)));
    stored.insert(uuidText(gone), entry(20, 0));
    defaults().set(ShortcutManager::kPresetTableKey, stored);
    defaults().set(ShortcutManager::kActionTableKey,
                   QVariantMap{{"updateLastAppliedPreset", entry(19, qulonglong(kCocoaOptionFlag))},
                               {"makeCoffee", entry(20, 0)}});
    ShortcutManager& shortcuts = start(ShortcutManager::Loading::OnMainQueue);
    EXPECT_TRUE(keyboard.registrations().empty()) << "the tables load from the main queue";
    drainMainQueue();

    EXPECT_TRUE(keyboard.isRegistered(kCmdOne));
    EXPECT_TRUE(keyboard.isRegistered(KeyCombo(Key::two, kCocoaOptionFlag)));
    EXPECT_EQ(keyboard.registrations().size(), 2u);
    EXPECT_TRUE(logs.warned("Invalid UUID string in saved shortcuts: not-a-uuid"));
    EXPECT_TRUE(logs.warned(
        QString("Could not find preset or preset name for ID: %1. Skipping shortcut.").arg(uuidText(gone))));
    EXPECT_TRUE(logs.warned(
        QString("Missing key or modifier for preset ID %1. Shortcut might be incomplete.").arg(uuidText(play))));
    EXPECT_TRUE(logs.warned("Stored shortcut under 'stray' is not an entry; kept as stored"));
    EXPECT_TRUE(logs.warned("Invalid action string in saved action shortcuts: makeCoffee"));
    QVariantMap expected = unreadable;
    expected.insert(uuidText(work), entry(18, qulonglong(kCocoaCommandFlag)));
    EXPECT_EQ(presetTable(), expected) << "the deleted preset's entry goes, the unreadable ones stay";
    EXPECT_TRUE(defaults().dictionary(ShortcutManager::kActionTableKey)->contains("makeCoffee"));
    ASSERT_TRUE(shortcuts.presetShortcut(work));
    EXPECT_EQ(shortcuts.presetShortcut(work)->key, Key::one);
    EXPECT_FALSE(shortcuts.presetShortcut(play));

    // Removing another preset's shortcut keeps them; a new shortcut for the preset replaces its own.
    ASSERT_FALSE(shortcuts.removePresetShortcut(work));
    EXPECT_EQ(presetTable(), unreadable);
    ASSERT_FALSE(shortcuts.setPresetShortcut(play, Key::two, kCocoaCommandFlag | kCocoaOptionFlag));
    expected = unreadable;
    expected.insert(uuidText(play), entry(19, qulonglong(kCocoaCommandFlag | kCocoaOptionFlag)));
    EXPECT_EQ(presetTable(), expected);
}

TEST_F(Shortcuts, AStoredTableThatIsNoDictionaryIsNeverReplaced) {
    defaults().set(ShortcutManager::kPresetTableKey, QVariantList{1, 2});
    ShortcutManager& shortcuts = start();
    EXPECT_TRUE(logs.warned("Stored shortcuts under 'presetShortcuts_v2_byID' are not a table; left as stored"));
    const auto error = shortcuts.setPresetShortcut(work, Key::one, kCocoaCommandFlag);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains("defaults delete com.corvane.pierline presetShortcuts_v2_byID"))
        << error->toStdString();
    EXPECT_FALSE(shortcuts.presetShortcut(work));
    EXPECT_EQ(defaults().object(ShortcutManager::kPresetTableKey), QVariant(QVariantList{1, 2}));
}

TEST_F(Shortcuts, ChangesRegisterWriteBackAndAnnounceFromTheMainQueue) {
    const QString id = uuidText(work);
    defaults().set(AdvancedHotkeyManager::kConfigurationsKey,
                   QString(R"(["%1",{"presetID":"%1","triggerType":"single"}])").arg(id).toUtf8());
    QString error;
    ASSERT_EQ(AdvancedHotkeyManager::readStoredConfigurations(&error).value_or(HotkeyConfigurations()).size(), 1u);
    ShortcutManager& shortcuts = start();
    ASSERT_FALSE(shortcuts.setPresetShortcut(work, Key::one, kCocoaCommandFlag | kCocoaCapsLockFlag));
    EXPECT_EQ(changes, 0) << "posted inline";
    drainMainQueue();
    EXPECT_EQ(changes, 1);
    // Flags other than the four modifiers are not stored.
    EXPECT_EQ(presetTable(), (QVariantMap{{uuidText(work), entry(18, qulonglong(kCocoaCommandFlag))}}));

    ASSERT_FALSE(shortcuts.setPresetShortcut(work, Key::two, kCocoaCommandFlag | kCocoaOptionFlag));
    EXPECT_FALSE(keyboard.isRegistered(kCmdOne));
    EXPECT_TRUE(keyboard.isRegistered(kCmdOptTwo));
    ASSERT_FALSE(shortcuts.setActionShortcut(ShortcutAction::updateLastAppliedPreset, Key::u, kCocoaControlFlag));
    EXPECT_EQ(defaults().dictionary(ShortcutManager::kActionTableKey)->value("updateLastAppliedPreset"),
              entry(32, qulonglong(kCocoaControlFlag)));

    ASSERT_FALSE(shortcuts.removePresetShortcut(work));
    EXPECT_FALSE(keyboard.isRegistered(kCmdOptTwo));
    EXPECT_TRUE(presetTable().isEmpty());
    EXPECT_TRUE(AdvancedHotkeyManager::readStoredConfigurations(&error).value().empty()) << error.toStdString();
}

TEST_F(Shortcuts, AChangeThatCannotBeStoredDoesNotTakeEffect) {
    ShortcutManager& shortcuts = start();
    ASSERT_FALSE(shortcuts.setPresetShortcut(work, Key::one, kCocoaCommandFlag));
    ASSERT_FALSE(shortcuts.setActionShortcut(ShortcutAction::updateLastAppliedPreset, Key::u, kCocoaControlFlag));
    const QString plist = home.file("Library/Preferences/com.corvane.pierline.plist");
    QFile file(plist);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<?xml version=\"1.0\"");
    file.close();

    EXPECT_TRUE(shortcuts.setPresetShortcut(work, Key::two, kCocoaCommandFlag | kCocoaOptionFlag));
    EXPECT_TRUE(shortcuts.setPresetShortcut(play, Key::two, kCocoaCommandFlag));
    EXPECT_TRUE(shortcuts.removeActionShortcut(ShortcutAction::updateLastAppliedPreset));
    EXPECT_TRUE(shortcuts.setActionShortcut(ShortcutAction::updateLastAppliedPreset, Key::v, 0));
    EXPECT_TRUE(shortcuts.removePresetShortcut(work));
    EXPECT_TRUE(keyboard.isRegistered(kCmdOne));
    EXPECT_FALSE(keyboard.isRegistered(kCmdOptTwo));
    EXPECT_FALSE(shortcuts.presetShortcut(play));
    ASSERT_TRUE(shortcuts.actionShortcut(ShortcutAction::updateLastAppliedPreset));
    EXPECT_EQ(shortcuts.actionShortcut(ShortcutAction::updateLastAppliedPreset)->key, Key::u);
}

TEST_F(Shortcuts, DeletingAPresetDropsItsShortcutAndAdvancedHotkeyLiveOrStored) {
    // The app's manager is the shared one.
    ShortcutManager& shortcuts = ShortcutManager::shared();
    drainMainQueue();
    shortcuts.setPresetShortcut(work, Key::one, kCocoaCommandFlag);
    shortcuts.setPresetShortcut(play, Key::two, kCocoaCommandFlag | kCocoaOptionFlag);
    defaults().set(
        AdvancedHotkeyManager::kConfigurationsKey,
        QString(R"(["%1",{"presetID":"%1","triggerType":"single"},"%2",{"presetID":"%2","triggerType":"single"}])")
            .arg(uuidText(work), uuidText(play))
            .toUtf8());
    const auto storedConfigurations = [] {
        QString error;
        const HotkeyConfigurations stored = AdvancedHotkeyManager::readStoredConfigurations(&error).value();
        QList<QUuid> ids;
        for (const auto& entry : stored)
            ids.append(entry.first);
        return ids;
    };
    ASSERT_TRUE(DockPresetManager::shared().deletePreset(work));
    EXPECT_FALSE(keyboard.isRegistered(kCmdOne));
    EXPECT_EQ(presetTable().keys(), QStringList{uuidText(play)});
    EXPECT_EQ(storedConfigurations(), QList<QUuid>{play});

    // Without the app's manager the stored tables lose the entries.
    ShortcutManager::resetShared();
    ASSERT_TRUE(DockPresetManager::shared().deletePreset(play));
    EXPECT_TRUE(presetTable().isEmpty());
    EXPECT_TRUE(storedConfigurations().isEmpty());
}

TEST_F(Shortcuts, SwitchPathAsksOnceAtATimeAndAppliesOnlyOnConfirm) {
    start().setPresetShortcut(work, Key::one, kCocoaCommandFlag);
    // Asking off: straight to the apply, with the one read of the preset.
    ASSERT_EQ(keyboard.press(kCmdOne), HotkeyEventResult::Handled);
    ASSERT_EQ(applied.size(), 1);
    EXPECT_EQ(applied[0], std::make_pair(work, QString("Work")));
    EXPECT_EQ(origins, QList<SwitchOrigin>{SwitchOrigin::Hotkey});
    EXPECT_EQ(fetches, 1);
    // The apply entry gets the whole preset as read then, so it has no reason to read it again.
    ASSERT_EQ(snapshots.size(), 1);
    EXPECT_TRUE(snapshots[0].stored);
    EXPECT_EQ(snapshots[0].apps, QStringList{"file:///Applications/Mail.app/"});
    EXPECT_TRUE(alerts.shown.empty());
    applied.clear();
    origins.clear();

    defaults().set("askBeforeSwitchingPresetsWithHotkeys", true);
    // Two more presses while the box is open are dropped.
    alerts.whileOpen = [&] {
        EXPECT_EQ(SwitchRequester::shared().confirmationAlertPresetId(), work);
        keyboard.press(kCmdOne);
        keyboard.press(kCmdOne);
        drainMainQueue();
    };
    keyboard.press(kCmdOne);
    EXPECT_TRUE(alerts.shown.empty()) << "the alert runs from the main queue";
    drainMainQueue();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].messageText, "Switch to Work?");
    EXPECT_EQ(alerts.shown[0].informativeText, "This hotkey will apply the \"Work\" preset and update your Dock.");
    EXPECT_EQ(alerts.shown[0].confirmButtonTitle, "Switch") << "the first button confirms";
    EXPECT_EQ(alerts.shown[0].cancelButtonTitle, "Cancel");
    EXPECT_TRUE(applied.isEmpty()) << "Cancel applies nothing";
    EXPECT_FALSE(SwitchRequester::shared().confirmationAlertPresetId());

    // An advanced hotkey's request goes through the same box, and reads its preset once.
    fetches = 0;
    alerts.whileOpen = {};
    alerts.nextAnswer(AlertResponse::Confirm);
    NotificationCenter::shared().post(kSwitchRequestNotification, {{kSwitchRequestPresetIdKey, play}});
    drainMainQueue();
    ASSERT_EQ(alerts.shown.size(), 2u);
    EXPECT_EQ(alerts.shown[1].messageText, "Switch to Play?");
    ASSERT_EQ(applied.size(), 1);
    EXPECT_EQ(applied[0].first, play);
    EXPECT_EQ(origins, QList<SwitchOrigin>{SwitchOrigin::AdvancedHotkey});
    EXPECT_EQ(fetches, 1);

    // Other origins never ask.
    requestSwitch(work, SwitchOrigin::Command);
    drainMainQueue();
    EXPECT_EQ(alerts.shown.size(), 2u);
    ASSERT_EQ(applied.size(), 2);
    EXPECT_EQ(applied[1].first, work);

    // A request without a preset id, or for a preset that is gone, shows nothing.
    NotificationCenter::shared().post(kSwitchRequestNotification, {});
    NotificationCenter::shared().post(kSwitchRequestNotification, {{kSwitchRequestPresetIdKey, QUuid::createUuid()}});
    drainMainQueue();
    EXPECT_EQ(alerts.shown.size(), 2u);
    EXPECT_EQ(applied.size(), 2);
}

class SaveAction : public Shortcuts {
protected:
    void SetUp() override {
        Shortcuts::SetUp();
        base = "file://" + home.path();
        writeDock({base + "/Applications/Safari.app/"}, {});
    }
    void writeDock(const QStringList& apps, const QVariantList& others) {
        QVariantList tiles;
        for (const QString& app : apps)
            tiles.append(appTile(app));
        writeDockDomain(home, xmlPlist(domain(tiles, others)));
    }
    void lastApplied(const QString& name) {
        defaults().set(DockManager::kLastAppliedNameKey, name);
        DockManager::shared().resetForTesting();
    }
    ShortcutManager::UpdateOutcome press() {
        std::optional<ShortcutManager::UpdateOutcome> outcome;
        manager->updateLastAppliedPresetFromDock([&](auto result) { outcome = result; });
        time.timers.advanceAndFire(ShortcutManager::kUpdateDelaySeconds);
        drainMainQueue();
        EXPECT_TRUE(outcome);
        return outcome.value_or(ShortcutManager::UpdateOutcome::SaveFailed);
    }
    QStringList titles() const {
        QStringList out;
        for (const auto& n : notifications.delivered)
            out.append(n.title);
        return out;
    }
    QString base;
};

TEST_F(SaveAction, NoLastPresetNotifiesAtOnceAndSchedulesNothing) {
    start();
    std::optional<ShortcutManager::UpdateOutcome> outcome;
    manager->updateLastAppliedPresetFromDock([&](auto result) { outcome = result; });
    EXPECT_EQ(outcome, ShortcutManager::UpdateOutcome::NoLastPreset);
    EXPECT_EQ(time.timers.pending(), 0);
    EXPECT_EQ(titles(), QStringList{"No Preset to Update"});

    lastApplied("Gone");
    EXPECT_EQ(press(), ShortcutManager::UpdateOutcome::PresetNotFound);
    EXPECT_EQ(notifications.delivered.back().body, "Could not find preset 'Gone'. It may have been deleted.");
}

TEST_F(SaveAction, ReadsTheDockWhenTheDelayEndsSoLateChangesAreSaved) {
    start().setActionShortcut(ShortcutAction::updateLastAppliedPreset, Key::u, kCocoaControlFlag);
    lastApplied("Work");
    keyboard.press(KeyCombo(Key::u, kCocoaControlFlag));
    time.timers.advanceAndFire(ShortcutManager::kUpdateDelaySeconds - 0.1);
    writeDock({base + "/Applications/Safari.app/", base + "/Applications/Notes.app/"},
              {folderTile(base + "/Downloads/", {}, {}, {}), urlTile("https://example.com/", "Example")});
    EXPECT_TRUE(notifications.delivered.empty());
    time.timers.advanceAndFire(0.2);
    drainMainQueue();

    const DockPresetPtr saved = DockPresetManager::shared().fetchPreset(work);
    EXPECT_EQ(decodeApps(saved->apps()).size(), 2);
    const auto stacks = saved->folderStacksArray();
    ASSERT_EQ(stacks.size(), 2);
    EXPECT_EQ(stacks[0]->itemType(), "folder");
    EXPECT_EQ(stacks[0]->displayAs(), "folder");
    EXPECT_EQ(stacks[0]->showAs(), "grid");
    EXPECT_EQ(stacks[0]->sortOrder(), "name");
    EXPECT_EQ(stacks[1]->itemType(), "url");
    EXPECT_EQ(titles(), QStringList{"Preset Updated"});
    EXPECT_EQ(notifications.delivered[0].body, "Successfully updated 'Work' with current dock state");
}

TEST_F(SaveAction, AnUnfinishedSwitchOrAnEmptyDockSavesNothing) {
    start();
    lastApplied("Work");
    defaults().set(DockManager::kUnfinishedSwitchKey, "Play");
    EXPECT_EQ(press(), ShortcutManager::UpdateOutcome::UnfinishedSwitch);
    defaults().remove(DockManager::kUnfinishedSwitchKey);
    writeDock({}, {});
    EXPECT_EQ(press(), ShortcutManager::UpdateOutcome::DockEmpty);
    EXPECT_EQ(decodeApps(DockPresetManager::shared().fetchPreset(work)->apps()),
              QStringList{"file:///Applications/Mail.app/"});
}

TEST_F(Shortcuts, NotificationServiceFailuresAreLogged) {
    notifications.authorizationError = "no session bus";
    notifications.deliveryError = "org.freedesktop.DBus.Error.ServiceUnknown";
    start().updateLastAppliedPresetFromDock();
    drainMainQueue();
    EXPECT_EQ(notifications.authorizationRequests, 1);
    EXPECT_TRUE(logs.warned("Error requesting notification permissions: no session bus"));
    EXPECT_TRUE(logs.warned("Error showing notification: org.freedesktop.DBus.Error.ServiceUnknown"));
}

// Each start of the app asks again; a desktop without the service is told once per home, until
// the service answers or the reason changes.
TEST_F(Shortcuts, AMissingNotificationServiceIsToldOnceUntilItAnswers) {
    const QString noBus = "Error requesting notification permissions: no session bus";
    const QString noService = "Error requesting notification permissions: ServiceUnknown";
    const auto starts = [&](const QString& error) {
        notifications.authorizationError = error;
        manager.reset();
        start();
        drainMainQueue();
        return logs.warningLines();
    };
    starts("no session bus");
    starts("no session bus");
    starts("no session bus");
    EXPECT_EQ(starts("no session bus").count(noBus), 1);
    EXPECT_EQ(starts("ServiceUnknown").count(noService), 1);
    EXPECT_EQ(starts("no session bus").count(noBus), 2);
    starts("");
    EXPECT_TRUE(logs.plainLines().contains("Notification permissions granted"));
    EXPECT_EQ(starts("no session bus").count(noBus), 3);
    EXPECT_EQ(notifications.authorizationRequests, 8);
}
