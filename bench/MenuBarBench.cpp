// The status menu rebuilt over 1,000 presets, a third of them with a shortcut, as after every
// save: fetching in list order, the shortcut texts and handing the menu to the shell. The
// budget is 50 ms.
#include "BenchSupport.h"

#include "app/MenuBarManager.h"
#include "core/PresetRecord.h"
#include "platform/ModifierMonitor.h"
#include "platform/StateAppShell.h"
#include "store/DockPresetManager.h"
#include "store/ManagedObjectContext.h"

#include <QCoreApplication>
#include <QHash>
#include <benchmark/benchmark.h>

using namespace pierline;

namespace {

class BenchShell : public StateAppShell {};

void BM_StatusMenuRebuild(benchmark::State& state) {
    bench::QuietHome home;
    BenchShell shell;
    AppShell::setShared(&shell);
    DockPresetManager::setSharedOptions({.monitorNetwork = false, .networkMonitorFactory = {}});
    DockPresetManager& presets = DockPresetManager::shared();
    ManagedObjectContext& context = presets.context();
    QHash<QUuid, StoredShortcut> shortcuts;
    const QString apps = encodeApps({QStringLiteral("file:///Applications/Safari.app/")});
    const int count = static_cast<int>(state.range(0));
    for (int i = 0; i < count; ++i) {
        auto preset = context.insert<DockPreset>();
        const QUuid id = QUuid::createUuid();
        preset->setId(id);
        preset->setName(QStringLiteral("Preset %1").arg(i));
        preset->setApps(apps);
        preset->setOrder(static_cast<qint16>(i));
        if (i % 3 == 0)
            shortcuts.insert(id, {Key::one, kCocoaCommandFlag | kCocoaOptionFlag});
    }
    context.save();
    MenuBarManager menuBar([&](const QUuid& id) -> std::optional<StoredShortcut> {
        const auto found = shortcuts.constFind(id);
        return found == shortcuts.cend() ? std::nullopt : std::optional<StoredShortcut>(*found);
    });
    shell.createStatusItem(QStringLiteral("logo-no-bg"), QStringLiteral("Pierline"));
    menuBar.setViewContext(&context);
    for (auto _ : state) {
        menuBar.refreshMenuBar();
        benchmark::DoNotOptimize(shell.statusMenu().size());
    }
    if (shell.statusMenu().size() < count)
        state.SkipWithError("the menu lacks presets");
    menuBar.setViewContext(nullptr);
    AppShell::setShared(nullptr);
    DockPresetManager::resetSharedForTesting();
}

BENCHMARK(BM_StatusMenuRebuild)->Arg(1000)->Unit(benchmark::kMillisecond);

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
