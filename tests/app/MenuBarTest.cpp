// The status menu, the Dock menu, the status item and its scope indicator, and the windows, on
// the fake shell with virtual time.
#include "support/CapturingLogSink.h"
#include "support/EventLoop.h"
#include "support/FakeAlertPresenter.h"
#include "support/FakeAppShell.h"
#include "support/TempHome.h"
#include "support/VirtualClock.h"

#include "app/MenuBarManager.h"
#include "core/PresetRecord.h"
#include "platform/ModifierMonitor.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/SwitchRequest.h"

#include <gtest/gtest.h>

using namespace pierline;
using namespace pierline::test;

namespace {

QStringList titles(const Menu& menu) {
    QStringList out;
    for (const MenuEntry& entry : menu)
        out.append(entry.separator ? QStringLiteral("---") : entry.plainTitle());
    return out;
}

const MenuEntry* entryTitled(const Menu& menu, const QString& title) {
    for (const MenuEntry& entry : menu)
        if (!entry.separator && entry.title == title)
            return &entry;
    return nullptr;
}

class MenuBar : public ::testing::Test {
protected:
    void SetUp() override {
        DockPresetManager::resetSharedForTesting();
        DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
        presets = &DockPresetManager::shared();
        // The start-up pass may have made a default preset; the tests list their own.
        for (const DockPresetPtr& preset : presets->fetchAllPresets())
            presets->deletePreset(*preset->id());
        SwitchRequester::shared().setApplierForTesting(
            [this](const PresetSnapshot& preset, SwitchOrigin) { applied.append(preset.name); });
        menuBar = std::make_unique<MenuBarManager>([this](const QUuid& id) -> std::optional<StoredShortcut> {
            const auto found = shortcuts.constFind(id);
            return found == shortcuts.cend() ? std::nullopt : std::optional<StoredShortcut>(*found);
        });
        MenuBarManager::setCurrent(menuBar.get());
    }
    void TearDown() override {
        MenuBarManager::setCurrent(nullptr);
        menuBar.reset();
        SwitchRequester::shared().setApplierForTesting({});
        drainMainQueue();
        DockPresetManager::resetSharedForTesting();
    }

    DockPresetPtr make(const QString& name) { return presets->createPreset(name, encodeApps({})); }

    // Shows the item as the app mode does and lets the main queue and timers run.
    void showItem() {
        menuBar->showStatusItem();
        drainMainQueue();
        time.timers.advanceAndFire(0.6);
        drainMainQueue();
    }

    TempHome home;
    VirtualTime time;
    FakeAppShell shell;
    FakeAlertPresenter alerts;
    CapturingLogSink log;
    DockPresetManager* presets = nullptr;
    QHash<QUuid, StoredShortcut> shortcuts;
    QStringList applied;
    std::unique_ptr<MenuBarManager> menuBar;
};

TEST_F(MenuBar, StatusMenuListsPresetsInListOrderWithTheirShortcutsBetweenTheFixedItems) {
    const DockPresetPtr work = make("Work");
    make("Play");
    shortcuts.insert(*work->id(), {Key::one, kCocoaCommandFlag | kCocoaOptionFlag});
    menuBar->setViewContext(&presets->context());
    const Menu menu = menuBar->buildStatusMenu();
    EXPECT_EQ(titles(menu), QStringList({"Show App", "---", "Pierline Presets", "---", "Work  ⌘⌥1", "Play", "---",
                                         "Relocate Locked Dock", "Check for Updates", "Settings", "Quit"}));
    EXPECT_FALSE(entryTitled(menu, "Pierline Presets")->enabled);
    EXPECT_EQ(entryTitled(menu, "Quit")->keyEquivalent, "q");
    const MenuEntry* item = entryTitled(menu, "Work");
    EXPECT_EQ(item->presetId, uuidText(*work->id()));
    EXPECT_EQ(item->shortcut, "⌘⌥1");
    EXPECT_TRUE(item->keyEquivalent.isEmpty());
    EXPECT_TRUE(entryTitled(menu, "Play")->shortcut.isEmpty());
}

TEST_F(MenuBar, ShortcutTextHoldsTheModifiersInMenuOrderThenTheKey) {
    // Not the recorder's order (⌘⌥⌃⇧): shift comes before control here.
    const quint64 all = kCocoaCommandFlag | kCocoaOptionFlag | kCocoaShiftFlag | kCocoaControlFlag;
    EXPECT_EQ(MenuBarManager::shortcutText({Key::a, all}), "⌘⌥⇧⌃A");
    EXPECT_EQ(MenuBarManager::shortcutText({Key::f1, kCocoaControlFlag}), "⌃" + keyDisplayText(Key::f1));
}

TEST_F(MenuBar, PresetsWithoutNameOrIdAreNamedOrSkipped) {
    ManagedObjectContext& context = presets->context();
    auto nameless = context.insert<DockPreset>();
    nameless->setId(QUuid::createUuid());
    nameless->setApps(encodeApps({}));
    nameless->setOrder(1);
    auto idless = context.insert<DockPreset>();
    idless->setName(QStringLiteral("Ghost"));
    idless->setApps(encodeApps({}));
    idless->setOrder(2);
    context.save();
    menuBar->setViewContext(&context);
    const QStringList listed = titles(menuBar->buildStatusMenu());
    EXPECT_TRUE(listed.contains("Unnamed Preset"));
    EXPECT_FALSE(listed.contains("Ghost"));
    EXPECT_TRUE(log.warned("Warning: Preset named 'Ghost' has a nil ID. Skipping menu item."));
}

TEST_F(MenuBar, WithoutAContextTheListsAreEmptyAndTheWindowsStayShut) {
    make("Work");
    menuBar->setViewContext(nullptr);
    EXPECT_FALSE(titles(menuBar->buildStatusMenu()).contains("Work"));
    EXPECT_TRUE(log.warned("Warning: View context not available for menu bar preset list."));
    EXPECT_EQ(titles(menuBar->buildDockMenu()),
              QStringList({"Show App", "---", "Pierline Presets", "---", "No presets available"}));
    EXPECT_TRUE(log.warned("Warning: View context not available for dock menu preset list."));

    menuBar->showMainWindow();
    menuBar->showSettings();
    EXPECT_TRUE(shell.windows().isEmpty());
    EXPECT_TRUE(log.warned("Error: Managed object context not available to create window."));
    EXPECT_TRUE(log.warned("Error: Managed object context not available to create settings window."));

    menuBar->openImportWizard();
    EXPECT_TRUE(alerts.messages.empty()); // from the main queue
    drainMainQueue();
    ASSERT_EQ(alerts.messages.size(), 1u);
    EXPECT_EQ(alerts.messages[0].messageText, "Import Error");
    EXPECT_EQ(alerts.messages[0].informativeText, "Unable to access application data");
}

TEST_F(MenuBar, DockMenuIsBuiltAnewWithItsLines) {
    menuBar->setViewContext(&presets->context());
    EXPECT_EQ(titles(menuBar->buildDockMenu()),
              QStringList({"Show App", "---", "Pierline Presets", "---", "No presets available"}));
    make("Work");
    const Menu menu = menuBar->buildDockMenu();
    EXPECT_EQ(titles(menu), QStringList({"Show App", "---", "Pierline Presets", "---", "Work"}));
    for (const char* line : {"applicationDockMenu called - creating dock menu", "Creating dock menu...",
                             "Found 1 presets for dock menu", "Adding preset to dock menu: Work",
                             "Dock menu creation completed with 5 total items", "Dock menu created with 5 items"})
        EXPECT_TRUE(log.printed(line)) << line;
    // Its preset items switch like the status menu's.
    entryTitled(menu, "Work")->action();
    EXPECT_EQ(applied, QStringList({"Work"}));
}

TEST_F(MenuBar, TheItemIsMadeWithTheLogoItsMenuAndLaterItsAutosaveName) {
    UserDefaults::standard().set("menuBarLogo", "dark-logo");
    menuBar->setViewContext(&presets->context());
    make("Work");
    menuBar->showStatusItem();
    EXPECT_FALSE(shell.isStatusItemVisible()); // dispatched to the main queue
    drainMainQueue();
    EXPECT_EQ(shell.statusItem().image, "dark-logo");
    EXPECT_TRUE(titles(shell.statusMenu()).contains("Work"));
    time.timers.advanceAndFire(0.4);
    drainMainQueue();
    EXPECT_TRUE(shell.statusItem().autosaveName.isEmpty());
    time.timers.advanceAndFire(0.2);
    drainMainQueue();
    EXPECT_EQ(shell.statusItem().autosaveName, "PierlineStatusItem");

    // A logo that is not shipped gives the stand-in.
    UserDefaults::standard().set("menuBarLogo", "no-such-logo");
    menuBar->refreshMenuBarAppearance();
    EXPECT_EQ(shell.statusItem().image, "dock.rectangle");

    menuBar->hideStatusItem();
    drainMainQueue();
    EXPECT_FALSE(shell.isStatusItemVisible());
    time.timers.advanceAndFire(1.5);
    EXPECT_FALSE(log.warnedContaining("hideMenuBar operation timed out"));
}

TEST_F(MenuBar, TheMenuIsRebuiltAfterSavesShortcutChangesAndRefreshes) {
    menuBar->setViewContext(&presets->context());
    showItem();
    make("Work");
    drainMainQueue();
    EXPECT_TRUE(titles(shell.statusMenu()).contains("Work"));

    // A save of another context leaves the menu alone.
    ManagedObjectContext other;
    NotificationCenter::shared().post(
        kContextDidSaveNotification,
        {{kContextDidSaveContextKey, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(&other))}});
    shortcuts.insert(*presets->fetchPreset(QStringLiteral("Work"))->id(), {Key::two, kCocoaCommandFlag});
    drainMainQueue();
    EXPECT_TRUE(titles(shell.statusMenu()).contains("Work"));
    NotificationCenter::shared().post(kShortcutsDidChangeNotification);
    drainMainQueue();
    EXPECT_TRUE(titles(shell.statusMenu()).contains("Work  ⌘2"));

    shortcuts.clear();
    menuBar->refreshMenuBar();
    EXPECT_TRUE(titles(shell.statusMenu()).contains("Work"));
}

TEST_F(MenuBar, ChoosingAPresetAppliesItUnlessItsAppListIsDamaged) {
    menuBar->setViewContext(&presets->context());
    const DockPresetPtr work = make("Work");
    showItem();
    entryTitled(shell.statusMenu(), "Work")->action();
    EXPECT_EQ(applied, QStringList({"Work"}));

    work->setApps(QStringLiteral("[1, 2"));
    presets->context().save();
    drainMainQueue();
    entryTitled(shell.statusMenu(), "Work")->action();
    EXPECT_EQ(applied, QStringList({"Work"}));
    EXPECT_TRUE(log.warned("Failed to decode app URLs from preset."));

    const DockPresetPtr nameless = make("Gone");
    nameless->setName(std::nullopt);
    menuBar->applyPresetFromMenu(nameless);
    EXPECT_TRUE(log.warned("Error: Preset to apply has no name."));
    EXPECT_EQ(applied.size(), 1);
}

TEST_F(MenuBar, ScopeModeSwapsTheIconForThePulsingIndicatorAndBack) {
    UserDefaults::standard().set("menuBarLogo", "white-logo");
    menuBar->setViewContext(&presets->context());
    menuBar->startObservingScopeMode();
    showItem();
    NotificationCenter::shared().post(kPierlineScopeModeChangedNotification, {{"inScope", true}});
    drainMainQueue();
    EXPECT_TRUE(menuBar->isScopeIndicatorVisible());
    EXPECT_EQ(shell.statusItem().image, "logo-scope");
    EXPECT_EQ(shell.statusItem().animation, "scopePulse");
    NotificationCenter::shared().post(kPierlineScopeModeChangedNotification, {{"inScope", false}});
    drainMainQueue();
    EXPECT_FALSE(menuBar->isScopeIndicatorVisible());
    EXPECT_EQ(shell.statusItem().image, "white-logo");
    EXPECT_TRUE(shell.statusItem().animation.isEmpty());

    UserDefaults::standard().set("showScopeModeIndicator", false);
    NotificationCenter::shared().post(kPierlineScopeModeChangedNotification, {{"inScope", true}});
    drainMainQueue();
    EXPECT_FALSE(menuBar->isScopeIndicatorVisible());
    EXPECT_EQ(shell.statusItem().image, "white-logo");
}

TEST_F(MenuBar, WindowsAreReusedWhileTheyExistAndClosingDropsAllButTheMain) {
    menuBar->setViewContext(&presets->context());
    menuBar->showSettings();
    menuBar->showSettings();
    EXPECT_EQ(shell.windows().size(), 1);
    EXPECT_EQ(shell.windows()[0].title, "Pierline Settings");
    shell.closeWindow(kSettingsWindowName);
    EXPECT_TRUE(log.printed("Settings window closing, performing cleanup."));
    drainMainQueue();
    EXPECT_FALSE(shell.hasWindow(kSettingsWindowName));
    menuBar->showSettings();
    EXPECT_TRUE(shell.isWindowVisible(kSettingsWindowName));

    menuBar->showMainWindow();
    EXPECT_TRUE(log.printed("Creating new application window."));
    menuBar->showMainWindow();
    EXPECT_TRUE(log.printed("App window already exists and is visible. Ordering front."));
    shell.closeWindow(kMainWindowName);
    drainMainQueue();
    EXPECT_TRUE(log.printed("Manual app window closing, hiding it."));
    EXPECT_TRUE(shell.hasWindow(kMainWindowName));
    EXPECT_FALSE(shell.isWindowVisible(kMainWindowName));

    // An open import wizard is closed before the next one opens, with the new link.
    menuBar->openImportWizard();
    menuBar->openImportWizard("https://share.example/p/1");
    EXPECT_TRUE(log.printed("Import wizard window closing, performing cleanup."));
    EXPECT_EQ(shell.shownWindows.last(), "importWizard https://share.example/p/1");
    EXPECT_TRUE(shell.isWindowVisible(kImportWizardWindowName));
}

} // namespace
