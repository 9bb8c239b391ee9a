// Arbitrary bytes as the preferences domain that holds the two shortcut tables: parse them as a
// property list and read both tables the way the shortcut manager does. A usable row must give
// back the same entry when written.
#include "platform/Plist.h"
#include "triggers/ShortcutAction.h"
#include "triggers/ShortcutManager.h"

#include <QUuid>
#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const PlistParseResult parsed = parsePlist(bytes);
    if (!parsed.value || parsed.value->typeId() != QMetaType::QVariantMap)
        return 0;
    const QVariantMap domain = parsed.value->toMap();
    for (const QString& tableKey : {ShortcutManager::kPresetTableKey, ShortcutManager::kActionTableKey}) {
        for (const StoredShortcutRow& row : readShortcutTable(domain.value(tableKey))) {
            QUuid(row.tableKey);
            shortcutActionFromRawValue(row.tableKey);
            if (!row.shortcut)
                continue;
            const KeyCombo combo(row.shortcut->key, row.shortcut->modifiers);
            const QVariantMap written = shortcutTableEntry(combo);
            const auto reread = readShortcutTable(QVariantMap{{row.tableKey, written}});
            if (reread.size() != 1 || !reread[0].shortcut || reread[0].shortcut->key != row.shortcut->key ||
                KeyCombo(reread[0].shortcut->key, reread[0].shortcut->modifiers) != combo)
                std::abort();
        }
    }
    return 0;
}
