// A whole spacer build (`create`) against the compile line it runs, alone.
#include "BenchSupport.h"

#include "platform/SystemPaths.h"
#include "spacers/CustomSpaceIconRenderer.h"
#include "spacers/CustomSpaceService.h"

#include <QDir>
#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

using namespace pierline;

namespace {

bench::QuietHome& home() {
    static bench::QuietHome quiet;
    return quiet;
}

CustomSpaceGeneratedIconConfig design() {
    CustomSpaceEditorChoices choices;
    choices.text = QStringLiteral("WORK\nLEFT");
    choices.textBorder = TextBorderPreset::Thin;
    return choices.config();
}

void BM_CompileLineAlone(benchmark::State& state) {
    home();
    const QString out = QDir(SystemPaths::temporaryDirectory()).filePath(QStringLiteral("stub"));
    // The shell runs a script file, as the other benches' floors do.
    const QString script = QDir(SystemPaths::temporaryDirectory()).filePath(QStringLiteral("compile.zsh"));
    bench::writeFile(script, QStringLiteral("echo 'int main(){return 0;}' | %1 -x c++ -o %2 -\n")
                                 .arg(shellQuoted(SystemPaths::compilerPath()), shellQuoted(out))
                                 .toUtf8());
    for (auto _ : state)
        bench::runBareScript(state, script);
}

void BM_Create(benchmark::State& state) {
    home();
    const CustomSpaceService service;
    int counter = 0;
    for (auto _ : state) {
        const CustomSpaceResult result =
            service.create(QStringLiteral("Bench %1").arg(++counter), CustomSpaceIconMode::Create, design(),
                           renderCustomSpaceIcon(design(), false).image);
        if (!result.bundlePath) {
            state.SkipWithError(result.error->description.toStdString().c_str());
            break;
        }
        state.PauseTiming();
        QDir(*result.bundlePath).removeRecursively();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_CompileLineAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Create)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bench::RatioReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_Defaults
                                                         : benchmark::ConsoleReporter::OO_Tabular);
    reporter.addRatio("BM_Create", "BM_CompileLineAlone", [](double create, double floor) {
        std::printf("create / compile line alone: %.2f (%.0f ms vs %.0f ms, %.0f ms on top)\n", create / floor, create,
                    floor, create - floor);
    });
    return bench::runBenchmarks(argc, argv, reporter);
}
