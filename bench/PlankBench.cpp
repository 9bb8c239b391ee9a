// The Plank target in a private home on GSettings' keyfile backend: a switch of 10 apps written
// while Plank is stopped (files and settings only), and the same switch with the restart of a
// running Plank until it shows the preset on the session bus. Run under xvfb-run and
// dbus-run-session.
#include "platform/SessionBus.h"
#include "targets/plank/PlankSession.h"
#include "targets/plank/PlankTarget.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>

namespace pierline::bench {
namespace {

// GLib reads these once per process, so they are set before anything touches GSettings.
struct PlankHome {
    QuietHome home;
    QTemporaryDir xdg;
    QStringList apps;
    PlankHome() {
        // The restart waits for a real process: the polls need real time.
        Clock::setShared(nullptr);
        qputenv("HOME", xdg.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", xdg.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", xdg.filePath("data").toUtf8());
        qputenv("XDG_CACHE_HOME", xdg.filePath("cache").toUtf8());
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("NO_AT_BRIDGE", "1");
        QDir().mkpath(xdg.filePath("home"));
        for (int i = 0; i < 10; ++i) {
            const QString file = xdg.filePath(QStringLiteral("data/applications/app%1.desktop").arg(i));
            writeFile(file,
                      QStringLiteral("[Desktop Entry]\nType=Application\nName=App %1\nExec=true\n").arg(i).toUtf8());
            apps << QStringLiteral("file://") + file;
        }
    }
};

PlankHome& plankHome() {
    static PlankHome home;
    return home;
}

// Alternates the order so every write is a change.
void applyAlternating(benchmark::State& state) {
    PlankTarget target;
    int flip = 0;
    for (auto _ : state) {
        QStringList written = plankHome().apps;
        if (++flip % 2)
            std::reverse(written.begin(), written.end());
        const DockWriteReport report = target.write(QStringLiteral("Bench"), written, {}, {});
        if (!report || report.failed > 0)
            state.SkipWithError("write failed");
    }
}

void BM_PlankApplyStopped(benchmark::State& state) {
    if (PlankSession(QStringLiteral("dock1")).runningPid())
        state.SkipWithError("a Plank runs on this bus");
    applyAlternating(state);
}
BENCHMARK(BM_PlankApplyStopped)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlankApplyWithRestart(benchmark::State& state) {
    const PlankSession session(QStringLiteral("dock1"));
    if (!session.runningPid()) {
        const QString plank = QStandardPaths::findExecutable(QStringLiteral("plank"));
        if (plank.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY") || !hasSessionBus()) {
            state.SkipWithError("needs plank, a display and a session bus");
            return;
        }
        PlankSession::Launch launch{.program = plank,
                                    .arguments = std::nullopt,
                                    .environment = QProcessEnvironment::systemEnvironment().toStringList(),
                                    .workingDirectory = QDir::homePath()};
        try {
            session.waitUntilShowing(session.start(launch), {}, 30);
        } catch (const DockTargetError& error) {
            state.SkipWithError(error.what());
            return;
        }
    }
    applyAlternating(state);
}
BENCHMARK(BM_PlankApplyWithRestart)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

} // namespace
} // namespace pierline::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    pierline::bench::plankHome();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The last Plank was started detached by a switch; it goes with the bench.
    if (const auto pid = pierline::PlankSession(QStringLiteral("dock1")).runningPid())
        ::kill(static_cast<pid_t>(*pid), SIGTERM);
    pierline::Clock::setShared(nullptr);
    pierline::setLogSink(nullptr);
    return 0;
}
