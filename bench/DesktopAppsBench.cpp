// Finding the running desktop apps among 300 processes of a fake /proc tree, against 100 desktop
// files of the three kinds (a program, an interpreter with a script, a shebang script).
#include "support/FakeProcTree.h"

#include "platform/linux/LinuxDesktopApps.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

namespace {

using pierline::test::FakeProcess;

constexpr int kDesktopFiles = 100;
constexpr int kProcesses = 300;
constexpr double kLimitMs = 20.0;

void write(const QString& path, const QByteArray& bytes, bool executable) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    file.close();
    if (executable)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

struct Machine {
    QTemporaryDir dir;
    QString root = QFileInfo(dir.path()).canonicalFilePath();
    QString bin = root + "/bin";
    QStringList desktopFiles;
    std::unique_ptr<pierline::DesktopApps> apps;
    qsizetype expected = 0;

    Machine() {
        const QString python = bin + "/python3";
        const QString sh = QFileInfo("/bin/sh").canonicalFilePath();
        write(python, "x", true);
        for (int i = 0; i < kDesktopFiles; ++i) {
            const QString name = QStringLiteral("app%1").arg(i);
            QString exec;
            if (i % 10 == 0) {
                write(bin + "/" + name + ".sh", "#!/bin/sh\nread line\n", true);
                exec = bin + "/" + name + ".sh";
            } else if (i % 5 == 0) {
                write(bin + "/" + name + ".py", "print()\n", false);
                exec = "env LANG=C python3 " + bin + "/" + name + ".py %U";
            } else {
                write(bin + "/" + name, "x", true);
                exec = "\"" + name + "\" --new-window %F";
            }
            const QString file = root + "/apps/" + name + ".desktop";
            write(file,
                  ("[Desktop Entry]\nType=Application\nName=App " + QString::number(i) + "\nExec=" + exec +
                   "\nCategories=Utility;\n")
                      .toUtf8(),
                  false);
            desktopFiles << file;
        }
        write(bin + "/daemon", "x", true);

        // A third of the processes run apps, the rest are shells, interpreters with other scripts
        // and unrelated programs.
        pierline::test::FakeProcTree tree(root + "/proc");
        tree.add(FakeProcess(1, bin + "/daemon").parent(0));
        for (int pid = 2; pid <= kProcesses; ++pid) {
            FakeProcess process(pid, bin + "/daemon");
            if (pid % 3 == 0) {
                // Every fifth app process is a helper that its app (the process before) started.
                const bool helper = pid % 15 == 0;
                const int app = (helper ? pid - 3 : pid) % kDesktopFiles;
                const QString name = QStringLiteral("app%1").arg(app);
                if (app % 10 == 0)
                    process = FakeProcess(pid, sh).arguments({"/bin/sh", bin + "/" + name + ".sh"});
                else if (app % 5 == 0)
                    process = FakeProcess(pid, python).arguments({"python3", bin + "/" + name + ".py"});
                else
                    process = FakeProcess(pid, bin + "/" + name);
                if (helper)
                    process.parent(pid - 3);
                else
                    ++expected;
            } else if (pid % 3 == 1) {
                process = FakeProcess(pid, sh).arguments({"bash", "-c", "make -j2"});
            } else if (pid % 9 == 2) {
                process = FakeProcess(pid, python).arguments({"python3", bin + "/tool.py"});
            }
            tree.add(process);
        }
        tree.add(FakeProcess(kProcesses + 1, bin + "/daemon").parent(1)); // "us"
        apps = pierline::createLinuxDesktopApps({.procRoot = tree.path(),
                                                 .selfPid = kProcesses + 1,
                                                 .uid = ::getuid(),
                                                 .askDisplay = false,
                                                 .searchPath = {bin}});
    }
};

double g_meanMs = 0;

void BM_FindRunningDesktopApps(benchmark::State& state) {
    static Machine machine;
    qsizetype found = 0;
    for (auto _ : state) {
        found = machine.apps->runningApplications(machine.desktopFiles).size();
        benchmark::DoNotOptimize(found);
    }
    if (found != machine.expected)
        state.SkipWithError("the scan found another set of apps than the tree holds");
    state.counters["apps_found"] = static_cast<double>(found);
}
BENCHMARK(BM_FindRunningDesktopApps)->Unit(benchmark::kMillisecond)->MinTime(1.0);

class LimitReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (!run.error_occurred)
                g_meanMs = run.GetAdjustedRealTime();
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    LimitReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (g_meanMs <= 0)
        return 1;
    std::printf("running desktop apps among %d processes, %d desktop files: %.2f ms (limit %.0f ms)\n", kProcesses,
                kDesktopFiles, g_meanMs, kLimitMs);
    return g_meanMs <= kLimitMs ? 0 : 1;
}
