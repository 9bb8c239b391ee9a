// The GNOME dash target on GSettings' keyfile backend in a private home: a write of the
// favourites in this process against one `gsettings set` child doing the same write, and reading
// a dash of 50 favourites back into apps and items.
#include "targets/gnome/GnomeDashTarget.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QProcess>

namespace pierline::bench {
namespace {

// GLib reads these once per process, so they are set before anything touches GSettings.
struct DashHome {
    QuietHome home;
    QTemporaryDir xdg;
    QStringList ids;
    DashHome() {
        qputenv("HOME", xdg.filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", xdg.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", xdg.filePath("data").toUtf8());
        qputenv("GSETTINGS_BACKEND", "keyfile");
        for (int i = 0; i < 50; ++i) {
            const QString id = QStringLiteral("app%1.desktop").arg(i);
            writeFile(xdg.filePath("data/applications/" + id),
                      QStringLiteral("[Desktop Entry]\nType=Application\nName=App %1\nExec=true\n").arg(i).toUtf8());
            ids << id;
        }
    }
};

DashHome& dashHome() {
    static DashHome home;
    return home;
}

QStringList appEntries(int count) {
    QStringList apps;
    for (const QString& id : dashHome().ids.mid(0, count))
        apps << GnomeDashTarget::appEntryForDesktopId(id);
    return apps;
}

void BM_GnomeApplyInProcess(benchmark::State& state) {
    const QStringList apps = appEntries(static_cast<int>(state.range(0)));
    GnomeDashTarget target;
    int flip = 0;
    for (auto _ : state) {
        // Alternate the order so every write is a change.
        QStringList written = apps;
        if (++flip % 2)
            std::reverse(written.begin(), written.end());
        if (!target.write(QStringLiteral("Bench"), written, {}, {}))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_GnomeApplyInProcess)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_GsettingsSetChild(benchmark::State& state) {
    QStringList quoted;
    for (const QString& id : dashHome().ids.mid(0, static_cast<int>(state.range(0))))
        quoted << "'" + id + "'";
    int flip = 0;
    for (auto _ : state) {
        QStringList written = quoted;
        if (++flip % 2)
            std::reverse(written.begin(), written.end());
        QProcess process;
        process.start(QStringLiteral("gsettings"),
                      {"set", "org.gnome.shell", "favorite-apps", "[" + written.join(",") + "]"});
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            state.SkipWithError("gsettings failed");
    }
}
BENCHMARK(BM_GsettingsSetChild)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

void BM_GnomeRead50(benchmark::State& state) {
    GnomeDashTarget::setFavorites(dashHome().ids);
    GnomeDashTarget target;
    for (auto _ : state) {
        auto reading = target.read();
        if (!std::holds_alternative<DockReading>(reading) || std::get<DockReading>(reading).apps.size() != 50)
            state.SkipWithError("read failed");
    }
}
BENCHMARK(BM_GnomeRead50)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pierline::bench

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    pierline::bench::dashHome();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    pierline::Clock::setShared(nullptr);
    pierline::setLogSink(nullptr);
    return 0;
}
