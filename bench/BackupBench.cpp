// Backups at scale: 1,000 presets of 30 ordinary apps and 10 items each. Importing them into an
// empty store (limit 2 s), exporting them with the metadata gathering (limit 1 s), and decoding
// the document against a bare QJsonDocument parse of the same bytes (limit 3x).
#include "BenchSupport.h"

#include "exchange/BackupExport.h"
#include "exchange/ImportWizard.h"
#include "exchange/SafariWebAppService.h"
#include "platform/Workspace.h"
#include "store/DockPresetManager.h"
#include "store/PersistenceController.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

using namespace pierline;

namespace {

constexpr int kPresets = 1000;
const DockPresetManagerOptions kQuiet{.monitorNetwork = false, .networkMonitorFactory = {}};

// The shared home: 30 app bundles and the backup document that uses them.
struct Fixture {
    bench::QuietHome home;
    QString document;
    QByteArray bytes;

    Fixture() {
        QStringList apps;
        for (int a = 0; a < 30; ++a) {
            const QString bundle = QDir(SystemPaths::applicationsFolder()).filePath(QStringLiteral("App%1.app").arg(a));
            bench::writeFile(bundle + QStringLiteral("/Contents/Info.plist"),
                             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                            "<key>CFBundleIdentifier</key><string>com.example.app%1</string>"
                                            "</dict></plist>\n")
                                 .arg(a)
                                 .toUtf8());
            apps.append(QUrl::fromLocalFile(bundle).toString() + QLatin1Char('/'));
        }
        const QString appsText =
            QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(apps)).toJson(QJsonDocument::Compact));
        QList<DockPresetDTO> records;
        for (int p = 0; p < kPresets; ++p) {
            DockPresetDTO dto;
            dto.name = QStringLiteral("Preset %1").arg(p);
            dto.createdAt = QDateTime(QDate(2025, 3, 1), QTime(9, 15), Qt::UTC);
            dto.apps = appsText;
            for (int i = 0; i < 10; ++i) {
                const QString path = home.home.filePath(QStringLiteral("file%1.txt").arg(i));
                dto.folderStacks.append({path, "folder", "grid", "name", static_cast<qint16>(i), "file", path, ""});
            }
            records.append(dto);
        }
        bytes = encodeBackup(records);
        document = home.home.filePath(QStringLiteral("backup.json"));
        bench::writeFile(document, bytes);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ImportIntoEmptyStore(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir storeHome;
        qputenv("PIERLINE_HOME", storeHome.path().toUtf8());
        auto controller = std::make_unique<PersistenceController>();
        auto manager = std::make_unique<DockPresetManager>(*controller, kQuiet);
        qputenv("PIERLINE_HOME", f.home.home.path().toUtf8());
        state.ResumeTiming();
        ImportWizard wizard;
        if (!wizard.loadPresets(f.document) || !wizard.importSelectedPresets(*manager))
            state.SkipWithError("import failed");
        state.PauseTiming();
        manager.reset();
        controller.reset();
        state.ResumeTiming();
    }
}

void BM_ExportWithMetadata(benchmark::State& state) {
    Fixture& f = fixture();
    PersistenceController controller;
    DockPresetManager manager(controller, kQuiet);
    ImportWizard wizard;
    if (manager.fetchAllPresets().size() < kPresets &&
        (!wizard.loadPresets(f.document) || !wizard.importSelectedPresets(manager))) {
        state.SkipWithError("seeding failed");
        return;
    }
    const QList<DockPresetPtr> presets = manager.fetchAllPresets();
    for (auto _ : state) {
        ExportDocument document = ExportDocument::forPresets(presets);
        SafariWebAppService service;
        document.appMetadata = service.extractMetadata(document.selectedApps());
        const QByteArray bytes = document.data();
        if (bytes.isEmpty() || document.appMetadata->size() != 30)
            state.SkipWithError("export failed");
        benchmark::DoNotOptimize(bytes.data());
    }
}

void BM_DecodeBackup(benchmark::State& state) {
    const QByteArray& bytes = fixture().bytes;
    for (auto _ : state) {
        const QList<DockPresetDTO> records = decodeBackup(bytes);
        benchmark::DoNotOptimize(records.data());
    }
}

void BM_BareJsonParse(benchmark::State& state) {
    const QByteArray& bytes = fixture().bytes;
    for (auto _ : state) {
        const QJsonDocument document = QJsonDocument::fromJson(bytes);
        benchmark::DoNotOptimize(&document);
    }
}

BENCHMARK(BM_ImportIntoEmptyStore)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExportWithMetadata)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DecodeBackup)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareJsonParse)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the store's work runs on the main thread
    bench::RatioReporter reporter;
    reporter.addRatio("Decoding against a bare parse (limit 3)", "BM_DecodeBackup", "BM_BareJsonParse");
    reporter.addRatio("BM_ImportIntoEmptyStore", "BM_BareJsonParse", [](double ms, double) {
        std::printf("Import of %d presets: %.0f ms (limit 2000 ms)\n", kPresets, ms);
    });
    reporter.addRatio("BM_ExportWithMetadata", "BM_BareJsonParse", [](double ms, double) {
        std::printf("Export of %d presets with metadata: %.0f ms (limit 1000 ms)\n", kPresets, ms);
    });
    const int exit = bench::runBenchmarks(argc, argv, reporter);
    Clock::setShared(nullptr);
    setLogSink(nullptr);
    return exit;
}
