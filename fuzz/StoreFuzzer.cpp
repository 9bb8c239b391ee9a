// Arbitrary bytes as the preset store file: open it and run the preset manager's start-up pass
// on it, then read every preset the way the preset list and the apply do. A damaged store may
// fail to open or to read; it must never crash.
#include "core/PresetRecord.h"
#include "platform/Log.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

using namespace pierline;

namespace {

class DiscardingSink : public LogSink {
public:
    void plain(const QString&) override {}
    void structured(const LogRecord&) override {}
};

// A private home per run: the store file, and user defaults the migrations write to.
struct FuzzHome {
    FuzzHome() {
        if (!dir.isValid())
            std::abort();
        qputenv("PIERLINE_HOME", dir.path().toUtf8());
        // An empty store reads the Dock for its default preset; no tools: the read fails at once.
        qputenv("PIERLINE_TOOLS_DIR", dir.filePath(QStringLiteral("no-tools")).toUtf8());
        store = dir.filePath(QStringLiteral("Pierline.sqlite"));
        setLogSink(&sink);
    }
    QTemporaryDir dir;
    QString store;
    DiscardingSink sink;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzHome home;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(home.store + QLatin1String(suffix));
    QDir(home.dir.filePath(QStringLiteral("Library/Preferences"))).removeRecursively(); // migrations run again
    {
        QFile file(home.store);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
            std::abort();
    }

    PersistenceController::Options options;
    options.location = home.store;
    PersistenceController controller(false, options);
    DockPresetManager manager(controller,
                              DockPresetManagerOptions{.monitorNetwork = false, .networkMonitorFactory = {}});
    for (const DockPresetPtr& preset : manager.fetchAllPresets()) {
        if (!preset)
            std::abort();
        decodeApps(preset->apps());
        preset->harborletConfiguration();
        preset->createdAt();
        for (const DockFolderStackPtr& item : manager.dockItems(preset)) {
            item->effectiveType();
            item->effectiveLabel();
            if (item->preset() != preset)
                std::abort(); // an item listed under a preset belongs to it
        }
        if (const auto name = preset->name())
            manager.fetchPreset(*name);
        manager.resolvePreset(preset->objectIdUri());
        if (preset->id())
            manager.resolvePreset(preset->idString());
    }
    manager.refreshContext();
    manager.fetchAllPresets();
    return 0;
}
