// Arbitrary bytes as a backup document (a file or a share link's answer): decoded strictly, then
// built into the import preview, and a record that decodes must encode and decode to itself.
#include "exchange/BackupRecords.h"
#include "exchange/ImportWizard.h"

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<DockPresetDTO> records;
    try {
        records = decodeBackup(bytes);
    } catch (const BackupDecodeError& error) {
        if (error.description().isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    for (const DockPresetDTO& record : records) {
        const ImportPresetItem item = ImportPresetItem::make(record);
        (void)item.missingCount();
        (void)item.recordToImport(QStringLiteral("fuzz"));
    }
    if (decodeBackup(encodeBackup(records)) != records)
        std::abort();
    return 0;
}
