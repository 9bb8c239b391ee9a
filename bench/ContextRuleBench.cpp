// A workspace change on the X server to the apply entry entered, through the real watcher, the
// rule table, the settle timer (0 s) and the switch request. Run under xvfb-run.
#include "BenchSupport.h"

#include "core/SettingDescriptors.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "switching/ContextSwitcher.h"
#include "triggers/SwitchRequest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>

// Xlib's macros clash with Qt's headers: X headers come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace pierline {
namespace {

void setWorkspace(Display* display, long index) {
    XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_CURRENT_DESKTOP", False),
                    XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&index), 1);
    XFlush(display);
}

void BM_WorkspaceChangeToApplyEntry(benchmark::State& state) {
    bench::QuietHome home;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        state.SkipWithError("no X display: run under xvfb-run");
        return;
    }
    UserDefaults::standard().set(settingDescriptor(Setting::ContextSettleSeconds).key, 0.0);
    DockPresetManager::Options options;
    options.monitorNetwork = false;
    DockPresetManager::setSharedOptions(options);
    DockPresetManager& manager = DockPresetManager::shared();
    const QUuid a = *manager.createPreset(QStringLiteral("A"), QStringLiteral("[]"))->id();
    const QUuid b = *manager.createPreset(QStringLiteral("B"), QStringLiteral("[]"))->id();
    ContextRuleTable::edit([&](QList<StoredContextRule>& rules) -> std::optional<QString> {
        rules = {{ContextRule{{ContextCondition::Kind::Workspace, 0, {}, false, {}}, a}, {}, {}},
                 {ContextRule{{ContextCondition::Kind::Workspace, 1, {}, false, {}}, b}, {}, {}}};
        return std::nullopt;
    });

    std::optional<QUuid> applied;
    SwitchRequester::shared().setApplierForTesting(
        [&](const PresetSnapshot& preset, SwitchOrigin) { applied = preset.id; });
    setWorkspace(display, 0);
    ContextSwitcher switcher(ContextWatcherSet::platform(createHeadlessDisplaySetWatcher()),
                             {[](const QUuid& id) { return requestSwitch(id, SwitchOrigin::ContextRule); },
                              [&] { return applied; },
                              [&](const QUuid& id) { return manager.fetchPreset(id) != nullptr; }});
    switcher.start();

    std::vector<double> millis;
    long workspace = 0;
    for (auto _ : state) {
        workspace = 1 - workspace;
        const QUuid wanted = workspace ? b : a;
        QElapsedTimer timer;
        timer.start();
        setWorkspace(display, workspace);
        while (applied != wanted && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double elapsed = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (applied != wanted) {
            state.SkipWithError("the change never reached the apply entry");
            break;
        }
        millis.push_back(elapsed);
        state.SetIterationTime(elapsed / 1000.0);
    }
    if (!millis.empty()) {
        std::sort(millis.begin(), millis.end());
        state.counters["median_ms"] = millis[millis.size() / 2];
        state.counters["goal_ms"] = 10;
    }
    SwitchRequester::shared().setApplierForTesting({});
    XCloseDisplay(display);
}

BENCHMARK(BM_WorkspaceChangeToApplyEntry)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace
} // namespace pierline

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    pierline::bench::RatioReporter reporter;
    const int code = pierline::bench::runBenchmarks(argc, argv, reporter);
    pierline::DockPresetManager::resetSharedForTesting();
    pierline::setLogSink(nullptr);
    pierline::Clock::setShared(nullptr);
    return code;
}
