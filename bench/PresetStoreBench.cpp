// Preset store at scale: listing, making a preset, and the start-up pass (migrations and
// identifier repair) with 1,000 and 10,000 presets of 30 apps and 10 items each.
#include "BenchSupport.h"

#include "core/PresetRecord.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"
#include "store/PersistenceController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <map>

using namespace pierline;

namespace {

// One home per size, holding a pristine seeded store that each run copies into place.
struct Seeded {
    QTemporaryDir home;
    QString pristine;
};

QString storeFile(const QTemporaryDir& home) {
    return QDir(home.path()).filePath(QStringLiteral("Library/Application Support/Pierline/Pierline.sqlite"));
}

// Presets as an older build may leave them: a tenth without an id, a twentieth sharing one,
// a twentieth with a blank name; every preset with 30 apps and 10 items.
void seed(int count) {
    PersistenceController controller;
    ManagedObjectContext& context = controller.viewContext();
    QStringList apps;
    for (int a = 0; a < 30; ++a)
        apps.append(QStringLiteral("file:///Applications/App%1.app/").arg(a));
    const QString appsText = encodeApps(apps);
    const QUuid shared = QUuid::createUuid();
    const QDateTime start(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
    QVariantMap oldShortcuts;
    for (int i = 0; i < count; ++i) {
        auto preset = context.insert<DockPreset>();
        preset->setName(i % 20 == 7 ? QStringLiteral(" ") : QStringLiteral("Preset %1").arg(i));
        if (i % 10 != 3)
            preset->setId(i % 20 == 11 ? shared : QUuid::createUuid());
        preset->setOrder(static_cast<qint16>(std::min(i, 32767)));
        preset->setCreatedAt(start.addSecs(i));
        preset->setApps(appsText);
        for (int k = 0; k < 10; ++k) {
            auto item = context.insert<DockFolderStack>();
            item->setPath(QStringLiteral("file:///Users/me/Folder%1-%2/").arg(i).arg(k));
            item->setUrl(item->path());
            item->setItemType(QStringLiteral("folder"));
            item->setOrder(static_cast<qint16>(k));
            item->setPreset(preset);
        }
        if (i % 10 == 0)
            oldShortcuts.insert(QStringLiteral("Preset %1").arg(i), QVariantMap{{QStringLiteral("keyCode"), i}});
    }
    context.save();
    UserDefaults::standard().set(QStringLiteral("presetShortcuts"), oldShortcuts);
}

Seeded& seeded(int count) {
    static std::map<int, std::unique_ptr<Seeded>> homes;
    auto& slot = homes[count];
    if (!slot) {
        slot = std::make_unique<Seeded>();
        qputenv("PIERLINE_HOME", slot->home.path().toUtf8());
        seed(count);
        slot->pristine = slot->home.filePath(QStringLiteral("pristine.sqlite"));
        QFile::copy(storeFile(slot->home), slot->pristine);
    }
    qputenv("PIERLINE_HOME", slot->home.path().toUtf8());
    return *slot;
}

// Puts the pristine store back and forgets that the one-time migrations ran.
void restore(Seeded& s) {
    const QString file = storeFile(s.home);
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
    QFile::copy(s.pristine, file);
    UserDefaults::standard().remove(QStringLiteral("coreDataPresetUUIDMigrationDone_v1.1"));
    UserDefaults::standard().remove(QStringLiteral("shortcutUserDefaultsMigrationToUUID_v1.1"));
    UserDefaults::standard().remove(QStringLiteral("presetShortcuts_v2_byID"));
}

const DockPresetManagerOptions kQuiet{.monitorNetwork = false, .networkMonitorFactory = {}};

void BM_FetchAllPresets(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Seeded& s = seeded(count);
    restore(s);
    PersistenceController controller;
    DockPresetManager manager(controller, kQuiet);
    for (auto _ : state) {
        const QList<DockPresetPtr> presets = manager.fetchAllPresets();
        if (presets.size() != count)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(presets.data());
    }
    state.SetComplexityN(count);
}

void BM_CreatePreset(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Seeded& s = seeded(count);
    restore(s);
    PersistenceController controller;
    DockPresetManager manager(controller, kQuiet);
    const QString apps = manager.fetchAllPresets().first()->apps().value_or(QStringLiteral("[]"));
    int n = 0;
    for (auto _ : state) {
        if (!manager.createPreset(QStringLiteral("New %1").arg(n++), apps))
            state.SkipWithError("create failed");
    }
    state.SetComplexityN(count);
}

void BM_StartUp(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    Seeded& s = seeded(count);
    for (auto _ : state) {
        state.PauseTiming();
        restore(s);
        state.ResumeTiming();
        PersistenceController controller;
        DockPresetManager manager(controller, kQuiet);
        benchmark::DoNotOptimize(&manager);
    }
    state.SetComplexityN(count);
}

BENCHMARK(BM_FetchAllPresets)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_CreatePreset)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_StartUp)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(5)->Complexity(benchmark::oN);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the store's work runs on the main thread
    bench::SilentLog sink;
    setLogSink(&sink);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setLogSink(nullptr);
    return 0;
}
