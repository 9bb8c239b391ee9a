#pragma once

#include "DockItem.h"
#include "core/DockFolderStack.h"

#include <QList>
#include <QStringList>
#include <QVariantMap>
#include <variant>

namespace pierline {

struct DockReadError {
    enum class Kind { CommandFailed, ParseFailed, UnexpectedFormat };
    Kind kind;
    QString message; // payload of commandFailed / parseFailed

    // "Command failed: {message}", "Parse failed: {message}", or the unexpected-structure text.
    QString description() const;
    // The text shown to the user by the flows that make a preset from the Dock.
    QString userMessage() const;
};

struct DockReading {
    QStringList apps;      // app entries, Dock order
    QList<DockItem> items; // right-hand tiles, Dock order
};

// Reads the Dock's preferences domain through the `defaults` tool. Keeps no state.
class DockReader {
public:
    // Parsed com.apple.dock, or the error.
    static std::variant<QVariantMap, DockReadError> readDockPreferences();
    static std::variant<DockReading, DockReadError> readDock();
    static QStringList getDockApps();      // prints "Warning: getDockApps failed. ..." on error
    static QList<DockItem> getDockItems(); // prints "Warning: getDockItems failed. ..." on error

    // The pure part: a parsed domain to app entries and items.
    static DockReading parseDomain(const QVariantMap& domain);
};

// Comparison form of an app entry; two lists are equal when these agree element by element.
QString normalizedAppEntry(const QString& entry);
bool appListsMatch(const QStringList& a, const QStringList& b);
// "Spacer", "Small Spacer" or the app's name.
QString appDisplayName(const QString& entry);
// The Dock's integer for an arrangement name.
int arrangementCode(const QString& name);

// Which item kinds a flow keeps when it turns Dock items into stored items.
enum class StoredItemKinds { FoldersOnly, All };

// The one conversion from a Dock item to the values of a stored item. Returns nullopt for an
// item that is skipped; `unknownType` is set when the skip is for an unknown tile type (the
// caller prints its own message for it). The values' `order` is left for the caller, which
// appends the item after the ones the preset already has.
std::optional<DockFolderStackValues> storedItemFromDockItem(const DockItem& item, StoredItemKinds kinds,
                                                            std::optional<QString>* unknownType = nullptr);
// A dock's right-hand items as a preset's: the kept ones in Dock order, `order` 0, 1, 2...
// The tile type of each item skipped as unknown goes to `unknownTypes`.
QList<DockFolderStackValues> storedItemsFromDock(const QList<DockItem>& items, StoredItemKinds kinds,
                                                 QStringList* unknownTypes = nullptr);

} // namespace pierline
