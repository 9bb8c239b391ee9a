#include "DesktopShortcutSync.h"

#include "platform/Log.h"
#include "platform/SystemPaths.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "triggers/KeyCombination.h"
#include "triggers/ShortcutManager.h"

#include <QCoreApplication>
#include <map>

namespace pierline {
namespace {

const QString kNamePrefix = QStringLiteral("Pierline: ");

// This program with `arguments`, as the desktop will start it.
QStringList ownCommand(const QStringList& arguments) {
    QStringList words;
    // The desktop starts it in the session's environment, which lacks a home chosen in a shell.
    if (SystemPaths::homeIsExplicit())
        words << QStringLiteral("/usr/bin/env") << QStringLiteral("PIERLINE_HOME=") + SystemPaths::home();
    words << (QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QStringLiteral("pierline"));
    return words + arguments;
}

std::optional<QString> acceleratorOf(const StoredShortcut& shortcut, const QString& owner) {
    const quint32 code = carbonKeyCode(shortcut.key);
    std::optional<QString> text = desktopAccelerator(code, shortcut.modifiers);
    if (!text)
        printWarning(QStringLiteral("The shortcut %1 of %2 has no key the desktop can bind; it works only where X11 "
                                    "grabs see keys")
                         .arg(KeyCombination{code, shortcut.modifiers}.displayString(), owner));
    return text;
}

QList<StoredShortcutRow> storedTable(const QString& key) {
    return readShortcutTable(UserDefaults::standard().object(key).value_or(QVariant()));
}

} // namespace

std::optional<QString> syncDesktopKeybindings() {
    if (!isWaylandSession())
        return std::nullopt;
    const auto failed = [](const QString& why) {
        return QStringLiteral("the desktop's own keybindings (used on Wayland) were not updated: %1").arg(why);
    };
    // Unreadable tables would read as empty and remove every keybinding of ours.
    if (const auto error = UserDefaults::standard().readError())
        return failed(QStringLiteral("the stored shortcuts cannot be read (%1)").arg(*error));
    std::map<QUuid, QString> names;
    try {
        for (const DockPresetPtr& preset : DockPresetManager::shared().fetchAllPresetsOrThrow())
            if (preset->id() && preset->name())
                names.emplace(*preset->id(), *preset->name());
    } catch (const std::exception& error) {
        return failed(QStringLiteral("the presets cannot be read (%1)").arg(QString::fromUtf8(error.what())));
    }

    QList<DesktopKeybinding> wanted;
    for (const StoredShortcutRow& row : storedTable(ShortcutManager::kPresetTableKey)) {
        const QUuid id(row.tableKey);
        const auto name = names.find(id);
        if (!row.shortcut || name == names.end())
            continue;
        const QString owner = QStringLiteral("preset '%1'").arg(name->second);
        if (const auto binding = acceleratorOf(*row.shortcut, owner))
            wanted.append({uuidText(id), kNamePrefix + name->second,
                           ownCommand({QStringLiteral("shortcut"), QStringLiteral("press"), QStringLiteral("--id"),
                                       uuidText(id)}),
                           *binding});
    }
    for (const StoredShortcutRow& row : storedTable(ShortcutManager::kActionTableKey)) {
        const auto action = shortcutActionFromRawValue(row.tableKey);
        if (!action || !row.shortcut)
            continue;
        const QString title = shortcutActionTitle(*action);
        if (const auto binding = acceleratorOf(*row.shortcut, title))
            wanted.append({QStringLiteral("action-") + row.tableKey, kNamePrefix + title,
                           ownCommand({QStringLiteral("shortcut"), QStringLiteral("action"), QStringLiteral("run"),
                                       row.tableKey}),
                           *binding});
    }
    if (const auto error = createDesktopKeybindings()->replaceOurs(wanted))
        return failed(*error);
    return std::nullopt;
}

QString waylandTriggersNote() {
    return QStringLiteral("Wayland session: simple shortcuts work as the desktop's own keybindings; leader sequences, "
                          "multi-presses and modifier taps work only on X11");
}

} // namespace pierline
