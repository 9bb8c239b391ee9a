// Drawing a spacer icon: the 1024 master and the ten scaled PNGs of its icon set.
#include "BenchSupport.h"

#include "platform/Icns.h"
#include "spacers/CustomSpaceIconRenderer.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

using namespace pierline;

namespace {

CustomSpaceGeneratedIconConfig design() {
    CustomSpaceEditorChoices choices;
    choices.text = QStringLiteral("WORK\nLEFT");
    choices.textBorder = TextBorderPreset::Thin;
    return choices.config();
}

void BM_SpacerIcon(benchmark::State& state) {
    for (auto _ : state) {
        const RenderedIcon icon = renderCustomSpaceIcon(design(), false);
        for (const icns::IconsetImage& image : icns::iconsetImages())
            benchmark::DoNotOptimize(scaledPng(icon.image, image.pixels));
    }
}

BENCHMARK(BM_SpacerIcon)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7)->ReportAggregatesOnly();

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bench::RatioReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_Defaults
                                                         : benchmark::ConsoleReporter::OO_Tabular);
    return bench::runBenchmarks(argc, argv, reporter);
}
