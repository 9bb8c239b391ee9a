#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "app/MenuBarManager.h"
#include "app/instance/RunningApp.h"
#include "platform/Dispatch.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("menu [--dock] [--json] | menu activate [--dock] (TITLE | --preset UUID)");

QJsonArray menuJson(const Menu& menu) {
    QJsonArray entries;
    for (const MenuEntry& entry : menu) {
        QJsonObject object{{QStringLiteral("enabled"), entry.enabled}, {QStringLiteral("separator"), entry.separator}};
        if (!entry.separator)
            object.insert(QStringLiteral("title"), entry.title);
        if (!entry.keyEquivalent.isEmpty())
            object.insert(QStringLiteral("keyEquivalent"), entry.keyEquivalent);
        if (!entry.presetId.isEmpty())
            object.insert(QStringLiteral("presetId"), entry.presetId);
        if (!entry.shortcut.isEmpty())
            object.insert(QStringLiteral("shortcut"), entry.shortcut);
        entries.append(object);
    }
    return entries;
}

void printMenu(const Menu& menu, bool json) {
    if (json) {
        outJson(menuJson(menu));
        return;
    }
    for (const MenuEntry& entry : menu)
        out(entry.separator ? QStringLiteral("---") : entry.plainTitle());
}

// The live menu of the app in this process; a menu the item does not show is built as it would be.
Menu appMenu(MenuBarManager& menuBar, bool dock) {
    if (dock)
        return menuBar.buildDockMenu();
    const Menu live = AppShell::shared().statusMenu();
    return live.isEmpty() ? menuBar.buildStatusMenu() : live;
}

// Without an app: the menu as the app would build it, from the store and the stored shortcuts.
std::optional<Menu> callerMenu(bool dock) {
    DockPresetManager* presets = openPresetManager();
    if (!presets)
        return std::nullopt;
    QHash<QUuid, StoredShortcut> stored;
    for (const StoredShortcutRow& row :
         readShortcutTable(UserDefaults::standard().object(ShortcutManager::kPresetTableKey).value_or(QVariant()))) {
        if (row.shortcut)
            stored.insert(QUuid(row.tableKey), *row.shortcut);
    }
    MenuBarManager menuBar([stored](const QUuid& id) -> std::optional<StoredShortcut> {
        const auto found = stored.constFind(id);
        return found == stored.cend() ? std::nullopt : std::optional<StoredShortcut>(*found);
    });
    menuBar.setViewContext(&presets->context());
    return dock ? menuBar.buildDockMenu() : menuBar.buildStatusMenu();
}

int activate(const QCommandLineParser& parser, const QStringList& positional, bool dock) {
    const QString presetId = parser.value(QStringLiteral("preset"));
    const bool byPreset = parser.isSet(QStringLiteral("preset"));
    if (byPreset == (positional.size() == 2) || positional.size() > 2)
        return usageError(QStringLiteral("menu activate takes one TITLE or --preset UUID"), kUsage);
    MenuBarManager* menuBar = MenuBarManager::current();
    if (!RunningApp::current() || !menuBar) {
        err(QStringLiteral("Pierline is not running on %1").arg(SystemPaths::home()));
        return kExitFailed;
    }
    const Menu menu = appMenu(*menuBar, dock);
    const QString wanted = byPreset ? uuidText(QUuid(presetId)) : positional.at(1);
    const auto found = std::find_if(menu.begin(), menu.end(), [&](const MenuEntry& entry) {
        if (entry.separator)
            return false;
        return byPreset ? !QUuid(presetId).isNull() && entry.presetId == wanted
                        : entry.title == wanted || entry.plainTitle() == wanted;
    });
    const QString which = dock ? QStringLiteral("Dock menu") : QStringLiteral("menu");
    if (found == menu.end()) {
        err(byPreset ? QStringLiteral("No preset %1 in the %2").arg(presetId, which)
                     : QStringLiteral("No item titled '%1' in the %2").arg(wanted, which));
        return kExitFailed;
    }
    if (!found->enabled || !found->action) {
        err(QStringLiteral("The %1 item '%2' cannot be chosen").arg(which, found->title));
        return kExitFailed;
    }
    // Chosen from the main queue, as a click would be: the reply goes out first.
    runOnMainAsync(found->action);
    out(QStringLiteral("Chose '%1'").arg(found->title));
    return kExitOk;
}

} // namespace

int runMenuCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Lists the status menu (or the Dock menu) of the running app, or chooses one of its items. "
                       "Without a running app the list is built from the store."));
    const QCommandLineOption dock(QStringLiteral("dock"), QStringLiteral("The Dock menu instead of the status menu."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Print the menu as JSON."));
    const QCommandLineOption preset(QStringLiteral("preset"), QStringLiteral("The preset's item."),
                                    QStringLiteral("UUID"));
    parser.addOptions({dock, json, preset});
    if (auto exit = parse(parser, QStringLiteral("menu"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (!positional.isEmpty()) {
        if (positional.first() != QLatin1String("activate"))
            return usageError(QStringLiteral("Unknown menu subcommand: %1").arg(positional.first()), kUsage);
        if (parser.isSet(json))
            return usageError(QStringLiteral("menu activate takes no --json"), kUsage);
        return activate(parser, positional, parser.isSet(dock));
    }
    if (parser.isSet(preset))
        return usageError(QStringLiteral("--preset belongs to menu activate"), kUsage);
    if (MenuBarManager* menuBar = MenuBarManager::current(); menuBar && RunningApp::current()) {
        printMenu(appMenu(*menuBar, parser.isSet(dock)), parser.isSet(json));
        return kExitOk;
    }
    const auto menu = callerMenu(parser.isSet(dock));
    if (!menu)
        return kExitFailed;
    printMenu(*menu, parser.isSet(json));
    return kExitOk;
}

} // namespace pierline::cli
