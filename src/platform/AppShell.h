#pragma once

#include "Workspace.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace pierline {

// One line of a menu: a separator or a titled item. The title is plain text; a shortcut is
// drawn after it, smaller and grey where the host can.
struct MenuEntry {
    QString title;
    bool enabled = true;
    bool separator = false;
    QString keyEquivalent;
    QString presetId;             // a preset's item: the preset's identifier
    QString shortcut;             // "⌘⌥1"
    std::function<void()> action; // main thread; empty for headers and separators

    static MenuEntry separatorLine() { return MenuEntry{{}, true, true, {}, {}, {}, {}}; }
    // "Work  ⌘⌥1": what a host that shows only plain text shows.
    QString plainTitle() const { return shortcut.isEmpty() ? title : title + QStringLiteral("  ") + shortcut; }
};
using Menu = QList<MenuEntry>;

// Who draws the status item: a StatusNotifierItem host, an XEmbed tray, or nobody (the item
// then lives only in the app's state; the app is reached through `pierline menu`, its windows,
// hotkeys and links).
inline const QString kStatusHostNone = QStringLiteral("none");
inline const QString kStatusHostNotifierItem = QStringLiteral("StatusNotifierItem");
inline const QString kStatusHostXEmbed = QStringLiteral("XEmbed");

struct StatusItemState {
    bool visible = false;
    QString host = kStatusHostNone;
    QString image;
    QString autosaveName;
    bool tinted = false; // drawn in the system blue
    QString animation;   // the running animation's key, or empty
};

// The program's windows, by the names `pierline window` and `status` use.
inline const QString kMainWindowName = QStringLiteral("main");
inline const QString kSettingsWindowName = QStringLiteral("settings");
inline const QString kImportWizardWindowName = QStringLiteral("importWizard");

struct WindowState {
    QString name;
    QString title;
    bool visible = false;
};

// Takes the settings' requests for the status item (app mode, logo) while it is installed: the
// menu-bar manager of the running app, which builds the item's image and menu.
class StatusItemPresenter {
public:
    virtual ~StatusItemPresenter() = default;
    virtual void showStatusItem() = 0;
    virtual void hideStatusItem() = 0;
    virtual void refreshStatusItemAppearance() = 0;
};

// The application's presence: its activation policy (Dock icon or not), its status item with
// its menu, and its windows. Called on the main thread; the state readers may be called from
// any thread (the app answers `status` off the main thread).
class AppShell {
public:
    virtual ~AppShell() = default;

    static AppShell& shared();
    static void setShared(AppShell* shell); // nullptr restores the system shell
    static void setStatusItemPresenter(StatusItemPresenter* presenter);

    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    virtual ActivationPolicy activationPolicy() const = 0;
    // Brings the app in front of other apps' windows.
    virtual void activate() = 0;

    // The settings' requests: through the presenter when one is installed, else the item is
    // made with the default image and no menu.
    void setStatusItemVisible(bool visible);
    bool isStatusItemVisible() const { return statusItem().visible; }
    // Redraws the status item's icon from the current settings.
    void refreshMenuBarIcon();

    // The status item itself. Making one that exists, or removing none, does nothing.
    virtual void createStatusItem(const QString& image, const QString& accessibilityDescription) = 0;
    virtual void removeStatusItem() = 0;
    virtual void setStatusItemImage(const QString& image, const QString& accessibilityDescription, bool tinted) = 0;
    virtual void setStatusItemMenu(const Menu& menu) = 0;
    virtual void setStatusItemAutosaveName(const QString& name) = 0;
    // Runs the named animation on the item's button, or none (empty); one at a time.
    virtual void setStatusItemAnimation(const QString& key) = 0;
    virtual StatusItemState statusItem() const = 0;
    virtual Menu statusMenu() const = 0;

    // Windows are made on their first show and reused while they exist. showWindow brings an
    // existing one to the front; `argument` is handed to a new one (the import wizard's link).
    virtual bool hasWindow(const QString& name) const = 0;
    virtual bool isWindowVisible(const QString& name) const = 0;
    virtual void showWindow(const QString& name, const QString& argument = {}) = 0;
    // Closes it as the user would: the close handler hears it first, then it is hidden.
    virtual void closeWindow(const QString& name) = 0;
    // Forgets a closed window; the next show makes a new one.
    virtual void dropWindow(const QString& name) = 0;
    virtual QList<WindowState> windows() const = 0;
    // Hears every window that closes, by the user or by closeWindow.
    void setWindowCloseHandler(std::function<void(const QString& name)> handler);

protected:
    void windowWillClose(const QString& name) const;

private:
    std::function<void(const QString& name)> closeHandler_;
};

// A shell that only keeps the state it is given (no window system): the item and the windows
// exist in the app's state, with host "none".
std::unique_ptr<AppShell> createSystemAppShell();

// The title of a window by its name; empty for an unknown name.
QString shellWindowTitle(const QString& name);

} // namespace pierline
