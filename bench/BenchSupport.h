#pragma once

// What the benchmarks share: a quiet temporary home, file writing, the bare-script floor and a
// reporter that prints each measured run against its floor.
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace pierline::bench {

// Pauses and grace periods cost nothing, so what is measured is the program's own work.
class ZeroPauseClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
    double monotonicSeconds() const override { return 0; }
    void sleep(double) override {}
};

class SilentLog : public LogSink {
public:
    void plain(const QString&) override {}
    void structured(const LogRecord&) override {}
};

// A fresh PIERLINE_HOME with its own TMPDIR, the zero-pause clock and no log output. main()
// uninstalls the clock and the log sink before the static fixture goes away.
struct QuietHome {
    QTemporaryDir home;
    ZeroPauseClock clock;
    SilentLog log;

    QuietHome() {
        qputenv("PIERLINE_HOME", home.path().toUtf8());
        QDir(home.path()).mkpath(QStringLiteral("tmp"));
        qputenv("TMPDIR", home.filePath(QStringLiteral("tmp")).toUtf8());
        Clock::setShared(&clock);
        setLogSink(&log);
    }
};

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// The value below which `fraction` of `values` lie (nearest rank); `values` must not be empty.
inline double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

// One run of the floor: a shell script of the same child processes the measured code runs.
inline void runBareScript(benchmark::State& state, const QString& script) {
    const ProcessResult result = runProcess(SystemPaths::shellPath(), {script});
    if (result.exitStatus != 0)
        state.SkipWithError("bare script failed");
}

// Prints what the console reporter prints, then each measured run against its floor.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    using Print = std::function<void(double measuredMs, double floorMs)>;

    explicit RatioReporter(OutputOptions options = OO_Defaults) : ConsoleReporter(options) {}

    // Prints "title: ratio (measured ms vs floor ms)".
    void addRatio(std::string title, std::string measured, std::string floor) {
        addRatio(std::move(measured), std::move(floor), [title](double m, double f) {
            std::printf("%s: %.2f (%.1f ms vs %.1f ms)\n", title.c_str(), m / f, m, f);
        });
    }
    void addRatio(std::string measured, std::string floor, Print print) {
        ratios_.push_back({std::move(measured), std::move(floor), std::move(print)});
    }

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                realMs_[run.run_name.function_name] = run.GetAdjustedRealTime() * msPerUnit(run.time_unit);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const Ratio& ratio : ratios_) {
            const auto m = realMs_.find(ratio.measured);
            const auto f = realMs_.find(ratio.floor);
            if (m != realMs_.end() && f != realMs_.end() && f->second > 0)
                ratio.print(m->second, f->second);
        }
    }

private:
    struct Ratio {
        std::string measured;
        std::string floor;
        Print print;
    };
    static double msPerUnit(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kSecond:
            return 1e3;
        case benchmark::kMillisecond:
            return 1;
        case benchmark::kMicrosecond:
            return 1e-3;
        default:
            return 1e-6;
        }
    }
    std::vector<Ratio> ratios_;
    std::map<std::string, double> realMs_;
};

// Runs the benchmarks the command line selects with `reporter`; the exit code of main().
inline int runBenchmarks(int& argc, char** argv, RatioReporter& reporter) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

} // namespace pierline::bench
