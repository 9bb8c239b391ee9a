#include "MenuBarManager.h"

#include "app/instance/RunningApp.h"
#include "core/LockDockMonitor.h"
#include "core/SettingDescriptors.h"
#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/ModifierMonitor.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "triggers/AdvancedHotkeyManager.h"
#include "triggers/Key.h"
#include "triggers/SwitchRequest.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <atomic>

namespace pierline {
namespace {

std::atomic<MenuBarManager*> g_current{nullptr};

const QString kDefaultImage = QStringLiteral("dock.rectangle");
const QString kScopeImage = QStringLiteral("logo-scope");
const QString kScopeStandIn = QStringLiteral("target");

MenuEntry item(const QString& title, std::function<void()> action, const QString& keyEquivalent = {}) {
    MenuEntry entry;
    entry.title = title;
    entry.action = std::move(action);
    entry.keyEquivalent = keyEquivalent;
    return entry;
}

MenuEntry disabled(const QString& title) {
    MenuEntry entry;
    entry.title = title;
    entry.enabled = false;
    return entry;
}

// The stored list must be a JSON array of strings to be applied.
bool appsDecode(const std::optional<QString>& apps) {
    if (!apps)
        return false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(apps->toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return false;
    const QJsonArray array = document.array();
    return std::all_of(array.begin(), array.end(), [](const QJsonValue& v) { return v.isString(); });
}

} // namespace

MenuBarManager::MenuBarManager(ShortcutLookup lookup) : shortcuts_(std::move(lookup)) {
    if (!shortcuts_)
        shortcuts_ = [](const QUuid& id) { return ShortcutManager::shared().presetShortcut(id); };
    std::weak_ptr<int> alive = lifetime_;
    shortcutsObserver_ = NotificationCenter::shared().addObserver(kShortcutsDidChangeNotification, Delivery::MainQueue,
                                                                  [this, alive](const Notification&) {
                                                                      if (alive.lock())
                                                                          refreshMenuBar();
                                                                  });
}

MenuBarManager::~MenuBarManager() {
    if (g_current.load() == this)
        setCurrent(nullptr);
    dropContextObserver();
    NotificationCenter::shared().removeObserver(shortcutsObserver_);
    if (scopeObserver_)
        NotificationCenter::shared().removeObserver(scopeObserver_);
}

MenuBarManager* MenuBarManager::current() {
    return g_current.load();
}

void MenuBarManager::setCurrent(MenuBarManager* manager) {
    g_current.store(manager);
    AppShell::setStatusItemPresenter(manager);
    if (manager)
        AppShell::shared().setWindowCloseHandler([manager](const QString& name) { manager->windowWillClose(name); });
    else
        AppShell::shared().setWindowCloseHandler({});
}

void MenuBarManager::dropContextObserver() {
    if (saveObserver_)
        NotificationCenter::shared().removeObserver(saveObserver_);
    saveObserver_ = 0;
}

void MenuBarManager::setViewContext(ManagedObjectContext* context) {
    dropContextObserver();
    viewContext_ = context;
    if (context) {
        std::weak_ptr<int> alive = lifetime_;
        const auto address = reinterpret_cast<quintptr>(context);
        saveObserver_ = NotificationCenter::shared().addObserver(
            kContextDidSaveNotification, Delivery::MainQueue, [this, alive, address](const Notification& note) {
                if (alive.lock() && note.userInfo.value(kContextDidSaveContextKey).value<quintptr>() == address)
                    refreshMenuBar();
            });
    }
    refreshMenuBar();
}

void MenuBarManager::startObservingScopeMode() {
    if (scopeObserver_)
        return;
    std::weak_ptr<int> alive = lifetime_;
    scopeObserver_ = NotificationCenter::shared().addObserver(
        kPierlineScopeModeChangedNotification, Delivery::MainQueue, [this, alive](const Notification& note) {
            if (alive.lock())
                setScopeIndicator(note.userInfo.value(QStringLiteral("inScope")).toBool());
        });
}

QString MenuBarManager::shortcutText(const StoredShortcut& shortcut) {
    QString text;
    if (shortcut.modifiers & kCocoaCommandFlag)
        text += QChar(0x2318);
    if (shortcut.modifiers & kCocoaOptionFlag)
        text += QChar(0x2325);
    if (shortcut.modifiers & kCocoaShiftFlag)
        text += QChar(0x21E7);
    if (shortcut.modifiers & kCocoaControlFlag)
        text += QChar(0x2303);
    return text + keyDisplayText(shortcut.key);
}

bool MenuBarManager::isShippedImage(const QString& name) {
    return !name.isEmpty() && QFile::exists(QStringLiteral(":/status/%1.png").arg(name));
}

QString MenuBarManager::statusImageName() {
    const QString logo = readStringSetting(Setting::MenuBarLogo);
    return isShippedImage(logo) ? logo : kDefaultImage;
}

MenuEntry MenuBarManager::presetItem(const DockPresetPtr& preset) {
    MenuEntry entry;
    entry.title = preset->name().value_or(QStringLiteral("Unnamed Preset"));
    entry.presetId = uuidText(*preset->id());
    if (const auto shortcut = shortcuts_(*preset->id()))
        entry.shortcut = shortcutText(*shortcut);
    std::weak_ptr<int> alive = lifetime_;
    entry.action = [this, alive, preset] {
        if (alive.lock())
            applyPresetFromMenu(preset);
    };
    return entry;
}

Menu MenuBarManager::presetItems(const QString& emptyWarning, bool dockMenu) {
    Menu items;
    DockPresetManager* manager = DockPresetManager::existing();
    if (!viewContext_ || !manager) {
        printWarning(emptyWarning);
        if (dockMenu)
            items.append(disabled(QStringLiteral("No presets available")));
        return items;
    }
    const QList<DockPresetPtr> presets = manager->fetchAllPresets();
    if (dockMenu) {
        printLine(QStringLiteral("Found %1 presets for dock menu").arg(presets.size()));
        if (presets.isEmpty())
            items.append(disabled(QStringLiteral("No presets available")));
    }
    for (const DockPresetPtr& preset : presets) {
        if (!preset->id()) {
            printWarning(QStringLiteral("Warning: Preset named '%1' has a nil ID. Skipping menu item.")
                             .arg(preset->name().value_or(QStringLiteral("Unnamed"))));
            continue;
        }
        if (dockMenu)
            printLine(QStringLiteral("Adding preset to dock menu: %1")
                          .arg(preset->name().value_or(QStringLiteral("Unnamed Preset"))));
        items.append(presetItem(preset));
    }
    return items;
}

Menu MenuBarManager::buildStatusMenu() {
    std::weak_ptr<int> alive = lifetime_;
    auto guarded = [this, alive](void (MenuBarManager::*method)()) {
        return [this, alive, method] {
            if (alive.lock())
                (this->*method)();
        };
    };
    Menu menu;
    menu.append(item(QStringLiteral("Show App"), guarded(&MenuBarManager::showMainWindow)));
    menu.append(MenuEntry::separatorLine());
    menu.append(disabled(QStringLiteral("Pierline Presets")));
    menu.append(MenuEntry::separatorLine());
    menu.append(presetItems(QStringLiteral("Warning: View context not available for menu bar preset list."), false));
    menu.append(MenuEntry::separatorLine());
    menu.append(
        item(QStringLiteral("Relocate Locked Dock"), [] { LockDockMonitor::shared().relocateDockToLockedDisplay(); }));
    menu.append(item(QStringLiteral("Check for Updates"), guarded(&MenuBarManager::checkForUpdates)));
    menu.append(item(QStringLiteral("Settings"), guarded(&MenuBarManager::showSettings)));
    menu.append(item(QStringLiteral("Quit"), guarded(&MenuBarManager::quitApp), QStringLiteral("q")));
    return menu;
}

Menu MenuBarManager::buildDockMenu() {
    printLine(QStringLiteral("applicationDockMenu called - creating dock menu"));
    printLine(QStringLiteral("Creating dock menu..."));
    std::weak_ptr<int> alive = lifetime_;
    Menu menu;
    menu.append(item(QStringLiteral("Show App"), [this, alive] {
        if (alive.lock())
            showMainWindow();
    }));
    menu.append(MenuEntry::separatorLine());
    menu.append(disabled(QStringLiteral("Pierline Presets")));
    menu.append(MenuEntry::separatorLine());
    menu.append(presetItems(QStringLiteral("Warning: View context not available for dock menu preset list."), true));
    printLine(QStringLiteral("Dock menu creation completed with %1 total items").arg(menu.size()));
    printLine(QStringLiteral("Dock menu created with %1 items").arg(menu.size()));
    return menu;
}

void MenuBarManager::refreshMenuBar() {
    AppShell& shell = AppShell::shared();
    if (shell.isStatusItemVisible())
        shell.setStatusItemMenu(buildStatusMenu());
}

void MenuBarManager::refreshMenuBarAppearance() {
    AppShell& shell = AppShell::shared();
    if (!shell.isStatusItemVisible())
        return;
    if (scopeIndicatorVisible_) {
        // The logo under the indicator is what comes back when scope mode ends.
        originalIcon_ = statusImageName();
        return;
    }
    shell.setStatusItemImage(statusImageName(), QStringLiteral("Pierline"), false);
}

void MenuBarManager::showStatusItem() {
    std::weak_ptr<int> alive = lifetime_;
    runOnMainAsync([this, alive] {
        if (!alive.lock())
            return;
        AppShell& shell = AppShell::shared();
        if (shell.isStatusItemVisible())
            return;
        shell.createStatusItem(statusImageName(), QStringLiteral("Pierline"));
        runOnMainAsync([this, alive] {
            if (alive.lock())
                refreshMenuBar();
        });
        Timers::shared().schedule(0.5, false, [alive] {
            if (alive.lock())
                runOnMainAsync([] { AppShell::shared().setStatusItemAutosaveName(kAutosaveName); });
        });
    });
}

void MenuBarManager::hideStatusItem() {
    runOnMainAsync([] {
        // Logged only when the removal itself holds the main queue for a second.
        const TimerId watchdog = Timers::shared().schedule(
            1.0, false, [] { printWarning(QStringLiteral("Warning: hideMenuBar operation timed out")); });
        AppShell::shared().removeStatusItem();
        Timers::shared().cancel(watchdog);
    });
}

void MenuBarManager::setScopeIndicator(bool inScope) {
    AppShell& shell = AppShell::shared();
    if (inScope && readBoolSetting(Setting::ShowScopeModeIndicator)) {
        if (!shell.isStatusItemVisible() || scopeIndicatorVisible_)
            return;
        originalIcon_ = shell.statusItem().image;
        if (isShippedImage(kScopeImage))
            shell.setStatusItemImage(kScopeImage, QStringLiteral("Pierline Scope Mode"), false);
        else
            shell.setStatusItemImage(kScopeStandIn, QStringLiteral("Pierline Scope Mode"), true);
        shell.setStatusItemAnimation(kScopePulse);
        scopeIndicatorVisible_ = true;
        return;
    }
    if (!scopeIndicatorVisible_)
        return;
    scopeIndicatorVisible_ = false;
    shell.setStatusItemAnimation({});
    shell.setStatusItemImage(originalIcon_.value_or(statusImageName()), QStringLiteral("Pierline"), false);
    originalIcon_.reset();
}

void MenuBarManager::showMainWindow() {
    AppShell& shell = AppShell::shared();
    shell.activate();
    if (shell.isWindowVisible(kMainWindowName)) {
        printLine(QStringLiteral("App window already exists and is visible. Ordering front."));
        shell.showWindow(kMainWindowName);
        return;
    }
    if (!viewContext_) {
        printWarning(QStringLiteral("Error: Managed object context not available to create window."));
        return;
    }
    printLine(QStringLiteral("Creating new application window."));
    shell.showWindow(kMainWindowName);
}

void MenuBarManager::showSettings() {
    AppShell& shell = AppShell::shared();
    shell.activate();
    if (shell.isWindowVisible(kSettingsWindowName)) {
        shell.showWindow(kSettingsWindowName);
        return;
    }
    if (!viewContext_) {
        printWarning(QStringLiteral("Error: Managed object context not available to create settings window."));
        return;
    }
    shell.showWindow(kSettingsWindowName);
}

void MenuBarManager::openImportWizard(const QString& url) {
    AppShell& shell = AppShell::shared();
    shell.activate();
    if (shell.hasWindow(kImportWizardWindowName)) {
        shell.closeWindow(kImportWizardWindowName);
        shell.dropWindow(kImportWizardWindowName);
    }
    if (!viewContext_) {
        printWarning(QStringLiteral("Error: Managed object context not available to create import wizard window."));
        runOnMainAsync([] {
            AlertPresenter::shared().runMessage({QStringLiteral("Import Error"),
                                                 QStringLiteral("Unable to access application data"),
                                                 {QStringLiteral("OK")}});
        });
        return;
    }
    shell.showWindow(kImportWizardWindowName, url);
}

void MenuBarManager::windowWillClose(const QString& name) {
    if (name == kMainWindowName) {
        printLine(QStringLiteral("Manual app window closing, hiding it."));
    } else if (name == kImportWizardWindowName) {
        printLine(QStringLiteral("Import wizard window closing, performing cleanup."));
        AppShell::shared().dropWindow(name);
    } else if (name == kSettingsWindowName) {
        printLine(QStringLiteral("Settings window closing, performing cleanup."));
        AppShell::shared().dropWindow(name);
    }
}

void MenuBarManager::applyPresetFromMenu(const DockPresetPtr& preset) {
    if (!preset->name()) {
        printWarning(QStringLiteral("Error: Preset to apply has no name."));
        return;
    }
    if (!appsDecode(preset->apps())) {
        printWarning(QStringLiteral("Failed to decode app URLs from preset."));
        return;
    }
    // The one switch path reads the preset once and applies it on a user-initiated queue.
    requestSwitch(*preset->id(), SwitchOrigin::Menu);
}

void MenuBarManager::checkForUpdates() {
    printLine(QStringLiteral("Updates for Pierline come from apt"));
    runOnMainAsync([] {
        AlertPresenter::shared().runMessage(
            {QStringLiteral("Check for Updates"),
             QStringLiteral("Pierline is updated by the system's package manager: run `sudo apt update && sudo apt "
                            "upgrade`."),
             {QStringLiteral("OK")}});
    });
}

void MenuBarManager::quitApp() {
    if (RunningApp* app = RunningApp::current())
        app->requestQuit();
    else
        QCoreApplication::exit(0);
}

} // namespace pierline
