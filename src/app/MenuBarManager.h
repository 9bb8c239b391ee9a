#pragma once

#include "core/DockPreset.h"
#include "platform/AppShell.h"
#include "platform/NotificationCenter.h"
#include "triggers/ShortcutManager.h"

#include <QUuid>
#include <atomic>
#include <functional>
#include <optional>

namespace pierline {

class ManagedObjectContext;

// The status item with its menu and scope indicator, the Dock menu and the program's three
// windows. Both menus list the presets in list order with each one's simple shortcut. Main thread.
class MenuBarManager : public StatusItemPresenter {
public:
    using ShortcutLookup = std::function<std::optional<StoredShortcut>(const QUuid& presetId)>;

    // Observes "shortcutsDidChange" from construction. Shortcuts come from `lookup`, by default
    // the process-wide shortcut manager (made on first use, which registers its hotkeys).
    explicit MenuBarManager(ShortcutLookup lookup = {});
    ~MenuBarManager() override;
    MenuBarManager(const MenuBarManager&) = delete;
    MenuBarManager& operator=(const MenuBarManager&) = delete;

    // The app's manager while it runs, else null.
    static MenuBarManager* current();
    static void setCurrent(MenuBarManager* manager);

    // The store context the preset lists and windows work on (null: none, lists and windows
    // are refused with their log lines); observes its saves and rebuilds the menu.
    void setViewContext(ManagedObjectContext* context);
    ManagedObjectContext* viewContext() const { return viewContext_; }
    // Also starts observing the scope mode of the advanced hotkeys.
    void startObservingScopeMode();

    Menu buildStatusMenu();
    Menu buildDockMenu();  // anew for every request, with its log lines
    void refreshMenuBar(); // rebuilds the status item's menu
    void refreshMenuBarAppearance();

    // StatusItemPresenter (the app mode's requests).
    void showStatusItem() override;
    void hideStatusItem() override;
    void refreshStatusItemAppearance() override { refreshMenuBarAppearance(); }

    void showMainWindow();
    void showSettings();
    void openImportWizard(const QString& url = {});
    // The shell's close handler: the settings and import windows go, the main one is kept.
    void windowWillClose(const QString& name);

    void applyPresetFromMenu(const DockPresetPtr& preset);
    void checkForUpdates();
    void quitApp();

    void setScopeIndicator(bool inScope);
    bool isScopeIndicatorVisible() const { return scopeIndicatorVisible_; }

    // "⌘⌥⇧⌃" as held, then the key.
    static QString shortcutText(const StoredShortcut& shortcut);
    // The image named by the logo setting when it is shipped, else "dock.rectangle".
    static QString statusImageName();
    static bool isShippedImage(const QString& name);

    static inline const QString kAutosaveName = QStringLiteral("PierlineStatusItem");
    static inline const QString kScopePulse = QStringLiteral("scopePulse");

private:
    Menu presetItems(const QString& emptyWarning, bool dockMenu);
    MenuEntry presetItem(const DockPresetPtr& preset);
    void dropContextObserver();

    ShortcutLookup shortcuts_;
    ManagedObjectContext* viewContext_ = nullptr;
    ObserverToken saveObserver_ = 0;
    ObserverToken shortcutsObserver_ = 0;
    ObserverToken scopeObserver_ = 0;
    std::optional<QString> originalIcon_;
    std::atomic<bool> scopeIndicatorVisible_{false};           // read by `status` off the main thread
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0); // watched by queued work
};

} // namespace pierline
