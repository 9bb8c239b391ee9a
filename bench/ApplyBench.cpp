// A whole preset switch through the defaults writer (gates, store reads, writer, last-applied
// record, action listing, the action task and the switch-context post) against a bare shell
// script of the same child processes; and closing 20 running apps. Pauses and grace periods are
// taken on a clock that does not sleep, so what is left is the program's own work.
#include "BenchSupport.h"

#include "apply/DockManager.h"
#include "core/PresetRecord.h"
#include "dock/DefaultsWriter.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "store/DockPresetManager.h"
#include "switching/AppCloser.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <benchmark/benchmark.h>
#include <csignal>

using namespace pierline;

namespace {

constexpr int kApps = 26;
constexpr int kFolders = 6;
constexpr int kRunningApps = 20;

QString makeBundle(const QString& folder, const QString& name) {
    const QString bundle = QDir(folder).filePath(name + QStringLiteral(".app"));
    bench::writeFile(bundle + QStringLiteral("/Contents/Info.plist"),
                     QStringLiteral("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                                    "<key>CFBundleIdentifier</key><string>com.example.%1</string>"
                                    "<key>CFBundleExecutable</key><string>%2</string></dict></plist>")
                         .arg(QString(name).remove(QLatin1Char(' ')), name)
                         .toUtf8());
    const QString exe = bundle + QStringLiteral("/Contents/MacOS/") + name;
    QDir().mkpath(QFileInfo(exe).absolutePath());
    QFile::copy(QStringLiteral(PIERLINE_FAKE_APP), exe);
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return bundle;
}

template <typename Pred> bool waitUntil(Pred pred, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

struct Fixture : bench::QuietHome {
    QString bareScript;
    QStringList runningBundles;

    Fixture() {
        qunsetenv("XDG_RUNTIME_DIR");

        UserDefaults& defaults = UserDefaults::standard();
        defaults.set(QStringLiteral("useDockutil"), false);
        defaults.set(QStringLiteral("closeOtherApps"), false);

        // A preset of 26 apps with spacers and six folders, two files and two links.
        QStringList apps;
        for (int i = 0; i < kApps; ++i) {
            apps.append(
                fileUrlFromPath(
                    makeBundle(home.filePath(QStringLiteral("Applications")), QStringLiteral("App %1").arg(i)), true)
                    .toString(QUrl::FullyEncoded));
            if (i % 7 == 6)
                apps.append(QStringLiteral("pierline-spacer-%1").arg(i));
        }
        DockPresetManager::Options options;
        options.monitorNetwork = false;
        DockPresetManager::setSharedOptions(options);
        DockPresetManager& manager = DockPresetManager::shared();
        const DockPresetPtr preset = manager.createPreset(QStringLiteral("Bench"), encodeApps(apps));
        for (int i = 0; i < kFolders; ++i) {
            const QString path = home.filePath(QStringLiteral("Users/me/Folder %1").arg(i));
            QDir().mkpath(path);
            manager.addFolderStack(preset, path, QStringLiteral("stack"), QStringLiteral("fan"));
        }
        for (int i = 0; i < 2; ++i) {
            const QString path = home.filePath(QStringLiteral("Users/me/doc %1.txt").arg(i));
            bench::writeFile(path, "text");
            manager.addFile(preset, path);
            manager.addURL(preset, QStringLiteral("https://example.com/%1").arg(i), QStringLiteral("Link %1").arg(i));
        }

        // The bare floor: one shell running the writer's command lines on the files it leaves.
        const ApplyHandle first = DockManager::shared().applyPreset(QStringLiteral("Bench"), true);
        if (first.actions)
            waitUntil([&] { return first.actions->isFinished(); });
        // The writer removes its files after each apply; the script imports the same two lists kept here.
        QList<DockFolderStackValues> items;
        for (const DockFolderStackPtr& item : preset->folderStacksArray())
            items.append(item->values());
        const QDir lists(home.path());
        QString error;
        if (!DefaultsWriter::writeFiles(lists.path(), DefaultsWriter::appTiles(apps), DefaultsWriter::itemTiles(items),
                                        &error))
            qFatal("%s", qPrintable(error));
        bareScript = home.filePath(QStringLiteral("defaults.zsh"));
        bench::writeFile(bareScript, DefaultsWriter::commands(lists.filePath(DefaultsWriter::kAppsFileName),
                                                              lists.filePath(DefaultsWriter::kItemsFileName))
                                         .join(QLatin1Char('\n'))
                                         .toUtf8());

        for (int i = 0; i < kRunningApps; ++i)
            runningBundles.append(
                makeBundle(home.filePath(QStringLiteral("Running")), QStringLiteral("Busy %1").arg(i)));
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_FullApplyDefaults(benchmark::State& state) {
    fixture();
    for (auto _ : state) {
        // Bypassed cooldown: every iteration is a full switch. The action task hops to the main
        // thread, so the wait keeps the main queue running.
        const ApplyHandle handle = DockManager::shared().applyPreset(QStringLiteral("Bench"), true);
        if (handle.outcome != ApplyHandle::Outcome::Written)
            state.SkipWithError("apply did not write");
        if (handle.actions && !waitUntil([&] { return handle.actions->isFinished(); }))
            state.SkipWithError("stuck");
    }
}

void BM_DefaultsBareScript(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state)
        bench::runBareScript(state, f.bareScript);
}

void BM_CloseTwentyApps(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        QList<qint64> pids;
        for (const QString& bundle : f.runningBundles) {
            qint64 pid = 0;
            QProcess::startDetached(bundle + QStringLiteral("/Contents/MacOS/") + QFileInfo(bundle).completeBaseName(),
                                    {}, {}, &pid);
            pids.append(pid);
        }
        waitUntil([&] { return Workspace::shared().runningApplications().size() == kRunningApps; });
        state.ResumeTiming();

        QFuture<void> closing = AppCloser::closeAppsNotInPreset({}, {}, DockAppKind::Bundle);
        waitUntil([&] { return closing.isFinished(); });
        const bool allGone = waitUntil([&] {
            for (qint64 pid : pids)
                if (!Workspace::shared().isTerminated(pid))
                    return false;
            return true;
        });
        if (!allGone) {
            for (qint64 pid : pids)
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            state.SkipWithError("apps survived");
        }
    }
}

void BM_ListRunningApps(benchmark::State& state) {
    Fixture& f = fixture();
    QList<qint64> pids;
    for (const QString& bundle : f.runningBundles) {
        qint64 pid = 0;
        QProcess::startDetached(bundle + QStringLiteral("/Contents/MacOS/") + QFileInfo(bundle).completeBaseName(), {},
                                {}, &pid);
        pids.append(pid);
    }
    waitUntil([&] { return Workspace::shared().runningApplications().size() == kRunningApps; });
    for (auto _ : state)
        benchmark::DoNotOptimize(Workspace::shared().runningApplications());
    for (qint64 pid : pids)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

BENCHMARK(BM_FullApplyDefaults)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_DefaultsBareScript)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CloseTwentyApps)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ListRunningApps)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bench::RatioReporter reporter;
    reporter.addRatio("full apply (defaults writer) / bare script", "BM_FullApplyDefaults", "BM_DefaultsBareScript");
    const int code = bench::runBenchmarks(argc, argv, reporter);
    DockPresetManager::resetSharedForTesting();
    setLogSink(nullptr);
    Clock::setShared(nullptr);
    return code;
}
