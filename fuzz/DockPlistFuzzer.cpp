// Arbitrary bytes as the output of `defaults export com.apple.dock -`: parse them as a property
// list and read the Dock from the result, the way the reader does.
#include "core/PresetRecord.h"
#include "dock/DockReader.h"
#include "platform/Plist.h"

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const PlistParseResult parsed = parsePlist(bytes);
    if (!parsed.value) {
        if (parsed.error.isEmpty())
            std::abort(); // a failure must say why
        return 0;
    }
    if (parsed.value->typeId() != QMetaType::QVariantMap)
        return 0;

    const DockReading reading = DockReader::parseDomain(parsed.value->toMap());
    for (const QString& entry : reading.apps) {
        normalizedAppEntry(entry);
        appDisplayName(entry);
    }
    if (!reading.apps.isEmpty() && !appListsMatch(reading.apps, reading.apps))
        std::abort();
    // The apps attribute must give back what was stored.
    if (decodeApps(encodeApps(reading.apps)) != reading.apps)
        std::abort();
    for (const DockItem& item : reading.items) {
        if (!item.tileType || !item.tileData)
            std::abort(); // the reader keeps only typed tiles
        if (DockItem::fromJson(item.toJson()) != item)
            std::abort();
        storedItemFromDockItem(item, StoredItemKinds::All);
        storedItemFromDockItem(item, StoredItemKinds::FoldersOnly);
    }
    return 0;
}
