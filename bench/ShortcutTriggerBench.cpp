// Global shortcuts on the X display: from an XTest key press to the moment the switch reaches
// the apply entry's queue, and loading 200 stored shortcuts with their grabs. Needs a display
// (run under xvfb-run).
#include "BenchSupport.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "store/DockPresetManager.h"
#include "triggers/HotKey.h"
#include "triggers/KeyCombo.h"
#include "triggers/ShortcutManager.h"
#include "triggers/SwitchRequest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace pierline;
using SteadyClock = std::chrono::steady_clock;

namespace {

constexpr int kStoredShortcuts = 200;
constexpr int kWaitLimitMs = 2000;

// The modifier sets the stored shortcuts cycle through: two or three modifiers each, as people
// choose global shortcuts.
const quint64 kModifierSets[] = {
    kCocoaCommandFlag | kCocoaOptionFlag,
    kCocoaCommandFlag | kCocoaControlFlag,
    kCocoaControlFlag | kCocoaOptionFlag,
    kCocoaCommandFlag | kCocoaOptionFlag | kCocoaShiftFlag,
    kCocoaControlFlag | kCocoaOptionFlag | kCocoaShiftFlag,
    kCocoaCommandFlag | kCocoaControlFlag | kCocoaShiftFlag,
};

struct Home {
    bench::QuietHome quiet;
    QList<QUuid> presets;
    Display* keyboard = nullptr; // the test's own connection plays the user's keyboard

    Home() {
        for (int i = 0; i < kStoredShortcuts; ++i)
            presets.append(DockPresetManager::shared()
                               .createPreset(QStringLiteral("Preset %1").arg(i), {})
                               ->id()
                               .value_or(QUuid()));
        keyboard = XOpenDisplay(nullptr);
    }
};

Home& home() {
    static Home* const made = new Home; // the store and the display stay open for the whole run
    return *made;
}

// Letters and digits (the first 36 keys), each under each modifier set: 216 distinct combinations.
KeyCombo storedCombo(int index) {
    constexpr int kLettersAndDigits = 36;
    return KeyCombo(allKeys()[index % kLettersAndDigits], kModifierSets[index / kLettersAndDigits]);
}

// Super+Alt+2 typed with XTest; the time runs from the "2" going down to the moment the stand-in
// of the apply entry runs on the user-initiated queue, where the real switch starts.
void BM_PressToApplyEntry(benchmark::State& state) {
    Home& h = home();
    if (!h.keyboard) {
        state.SkipWithError("no X display");
        return;
    }
    UserDefaults::standard().remove(ShortcutManager::kPresetTableKey);
    ShortcutManager manager(ShortcutManager::Loading::Now);
    std::atomic<SteadyClock::rep> enteredAt{0};
    QEventLoop loop;
    // The stand-in refers to this loop: it goes when the benchmark ends, however it ends.
    struct RestoreApplier {
        ~RestoreApplier() { SwitchRequester::shared().setApplierForTesting({}); }
    } restoreApplier;
    SwitchRequester::shared().setApplierForTesting([&](const PresetSnapshot&, SwitchOrigin) {
        runAsync(QueuePriority::UserInitiated, [&] {
            enteredAt = SteadyClock::now().time_since_epoch().count();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    });
    if (manager.setPresetShortcut(h.presets.first(), Key::two, kCocoaCommandFlag | kCocoaOptionFlag)) {
        state.SkipWithError("the shortcut could not be stored");
        return;
    }
    const auto code = [&](KeySym sym) { return XKeysymToKeycode(h.keyboard, sym); };
    std::vector<double> latenciesMs;
    for (auto _ : state) {
        XTestFakeKeyEvent(h.keyboard, code(XK_Super_L), True, CurrentTime);
        XTestFakeKeyEvent(h.keyboard, code(XK_Alt_L), True, CurrentTime);
        XSync(h.keyboard, False);
        enteredAt = 0;
        const SteadyClock::time_point pressed = SteadyClock::now();
        XTestFakeKeyEvent(h.keyboard, code(XK_2), True, CurrentTime);
        XFlush(h.keyboard);
        QTimer::singleShot(kWaitLimitMs, &loop, &QEventLoop::quit);
        loop.exec();
        const SteadyClock::rep entered = enteredAt;
        for (KeySym sym : {XK_2, XK_Alt_L, XK_Super_L})
            XTestFakeKeyEvent(h.keyboard, code(sym), False, CurrentTime);
        XSync(h.keyboard, False);
        if (entered == 0) {
            state.SkipWithError("the press never reached the apply entry");
            return;
        }
        const std::chrono::duration<double> latency = SteadyClock::duration(entered) - pressed.time_since_epoch();
        state.SetIterationTime(latency.count());
        latenciesMs.push_back(latency.count() * 1e3);
        // The release and any late timer are drained before the next press.
        QCoreApplication::processEvents();
    }
    state.counters["median_ms"] = bench::percentile(latenciesMs, 0.5);
    state.counters["p99_ms"] = bench::percentile(latenciesMs, 0.99);
}

// The app's start: 200 stored preset shortcuts, each fetched from the store, grabbed four times
// (lock variants) and written back whole as an atomic file write.
void BM_LoadStoredShortcuts(benchmark::State& state) {
    Home& h = home();
    if (!h.keyboard) {
        state.SkipWithError("no X display");
        return;
    }
    QVariantMap table;
    for (int i = 0; i < kStoredShortcuts; ++i)
        table.insert(h.presets[i].toString(QUuid::WithoutBraces).toUpper(), shortcutTableEntry(storedCombo(i)));
    for (auto _ : state) {
        UserDefaults::standard().set(ShortcutManager::kPresetTableKey, table);
        const SteadyClock::time_point start = SteadyClock::now();
        auto manager = std::make_unique<ShortcutManager>(ShortcutManager::Loading::Now);
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - start).count());
        if (manager->presetsWithShortcuts().size() != kStoredShortcuts) {
            state.SkipWithError("not every stored shortcut loaded");
            return;
        }
        manager.reset(); // ungrabbing is not part of the start
        QCoreApplication::processEvents();
    }
}

// The floor of the load: the same 200 combinations grabbed, without the store or the write-backs.
void BM_GrabsAlone(benchmark::State& state) {
    if (!home().keyboard) {
        state.SkipWithError("no X display");
        return;
    }
    for (auto _ : state) {
        std::vector<std::shared_ptr<HotKey>> hotKeys;
        const SteadyClock::time_point start = SteadyClock::now();
        for (int i = 0; i < kStoredShortcuts; ++i)
            hotKeys.push_back(HotKey::create(storedCombo(i)));
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - start).count());
        hotKeys.clear();
    }
}

// The other part of the load: 200 write-backs of the table as it grows, one atomic file write each.
void BM_WriteBacksAlone(benchmark::State& state) {
    const Home& h = home();
    for (auto _ : state) {
        QVariantMap table;
        const SteadyClock::time_point start = SteadyClock::now();
        for (int i = 0; i < kStoredShortcuts; ++i) {
            table.insert(h.presets[i].toString(QUuid::WithoutBraces).toUpper(), shortcutTableEntry(storedCombo(i)));
            UserDefaults::standard().set(ShortcutManager::kPresetTableKey, table);
        }
        state.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - start).count());
    }
}

} // namespace

BENCHMARK(BM_PressToApplyEntry)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadStoredShortcuts)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GrabsAlone)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBacksAlone)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // hotkeys and the store live on the main thread
    bench::RatioReporter reporter;
    reporter.addRatio("loading 200 stored shortcuts against grabbing them alone", "BM_LoadStoredShortcuts",
                      "BM_GrabsAlone");
    reporter.addRatio("loading 200 stored shortcuts against their write-backs alone", "BM_LoadStoredShortcuts",
                      "BM_WriteBacksAlone");
    return bench::runBenchmarks(argc, argv, reporter);
}
