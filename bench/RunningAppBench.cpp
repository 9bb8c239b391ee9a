// `pierline preset create` handed to a running app against the same command run in its own
// process (which opens the store and runs the start-up pass each time), and the idle app's RSS.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <csignal>

namespace {

struct Home {
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    Home() {
        QDir(dir.path()).mkpath(QStringLiteral("runtime"));
        environment.insert(QStringLiteral("PIERLINE_HOME"), dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
        run({"sandbox", "init"});
    }

    int run(const QStringList& args) const {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(PIERLINE_BINARY), args);
        process.waitForFinished(60000);
        return process.exitCode();
    }
};

void createPresets(benchmark::State& state, const Home& home) {
    int counter = 0;
    for (auto _ : state) {
        if (home.run({"preset", "create", QStringLiteral("P%1").arg(counter++)}) != 0)
            state.SkipWithError("preset create failed");
    }
}

void BM_PresetCreateInProcess(benchmark::State& state) {
    static Home home;
    createPresets(state, home);
}
BENCHMARK(BM_PresetCreateInProcess)->Unit(benchmark::kMillisecond)->Iterations(30);

long residentKiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void BM_PresetCreateHandedToApp(benchmark::State& state) {
    static Home home;
    QProcess app;
    app.setProcessEnvironment(home.environment);
    app.start(QStringLiteral(PIERLINE_BINARY), {"run"});
    QDeadlineTimer up(20000);
    while (!up.hasExpired() && home.run({"status"}) != 0)
        QThread::msleep(50);
    QThread::msleep(500); // idle: the start-up pass is over
    state.counters["idle_rss_kib"] = static_cast<double>(residentKiB(app.processId()));
    createPresets(state, home);
    home.run({"quit"});
    app.waitForFinished(20000);
}
BENCHMARK(BM_PresetCreateHandedToApp)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
