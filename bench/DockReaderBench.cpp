// Reading the Dock: the whole reading through the `defaults` child against the child alone,
// and the parsing cost per tile.
#include "BenchSupport.h"

#include "dock/DockReader.h"
#include "platform/Plist.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

using namespace pierline;

namespace {

constexpr int kAppTiles = 350;
constexpr int kOtherTiles = 150;
constexpr int kTiles = kAppTiles + kOtherTiles;

QVariantMap fileData(const QString& url) {
    return {{"_CFURLString", url}, {"_CFURLStringType", qint64(15)}};
}

// A Dock of 500 tiles: apps with a spacer every tenth tile and a small spacer every fifteenth,
// then folders, files and links with their stack settings.
QVariantMap largeDock() {
    QVariantList apps;
    for (int i = 0; i < kAppTiles; ++i) {
        if (i % 10 == 9)
            apps.append(QVariantMap{{"tile-type", "spacer-tile"}, {"tile-data", QVariantMap()}});
        else if (i % 15 == 14)
            apps.append(QVariantMap{{"tile-type", "small-spacer-tile"}, {"tile-data", QVariantMap()}});
        else {
            const QString url = QStringLiteral("file:///Applications/App%20Number%20%1.app/").arg(i);
            apps.append(
                QVariantMap{{"tile-type", "file-tile"},
                            {"GUID", qint64(100000 + i)},
                            {"tile-data", QVariantMap{{"file-data", fileData(url)},
                                                      {"file-label", QStringLiteral("App Number %1").arg(i)},
                                                      {"bundle-identifier", QStringLiteral("com.example.app%1").arg(i)},
                                                      {"file-mod-date", qint64(3700000000LL + i)},
                                                      {"dock-extra", false}}}});
        }
    }
    QVariantList others;
    for (int i = 0; i < kOtherTiles; ++i) {
        switch (i % 3) {
        case 0:
            others.append(QVariantMap{
                {"tile-type", "directory-tile"},
                {"tile-data",
                 QVariantMap{{"file-data", fileData(QStringLiteral("file:///Users/me/Folder%20%1/").arg(i))},
                             {"file-label", QStringLiteral("Folder %1").arg(i)},
                             {"displayas", qint64(i % 2)},
                             {"showas", qint64(i % 4)},
                             {"arrangement", QString::number(1 + i % 5)}}}});
            break;
        case 1:
            others.append(QVariantMap{
                {"tile-type", "file-tile"},
                {"tile-data", QVariantMap{{"file-data", fileData(QStringLiteral("file:///Users/me/doc%1.txt").arg(i))},
                                          {"file-label", QStringLiteral("doc%1.txt").arg(i)}}}});
            break;
        default:
            others.append(QVariantMap{
                {"tile-type", "url-tile"},
                {"tile-data", QVariantMap{{"url", fileData(QStringLiteral("https://example.com/%1").arg(i))},
                                          {"label", QStringLiteral("Link %1").arg(i)}}}});
        }
    }
    return {
        {"persistent-apps", apps}, {"persistent-others", others}, {"tilesize", qint64(48)}, {"mod-count", qint64(412)}};
}

struct Fixture {
    QTemporaryDir home;
    QByteArray xml;
    QVariantMap parsed;

    Fixture() {
        qputenv("PIERLINE_HOME", home.path().toUtf8());
        xml = plistToXml(largeDock()).value_or(QByteArray());
        bench::writeFile(SystemPaths::preferencesFile(QStringLiteral("com.apple.dock")), xml);
        parsed = parsePlist(xml).value.value_or(QVariant()).toMap();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_DefaultsExportAlone(benchmark::State& state) {
    fixture();
    const QString tool = SystemPaths::toolPath(QStringLiteral("defaults"));
    for (auto _ : state) {
        const ProcessResult result =
            runProcess(tool, {QStringLiteral("export"), QStringLiteral("com.apple.dock"), QStringLiteral("-")});
        if (result.exitStatus != 0)
            state.SkipWithError("defaults export failed");
        benchmark::DoNotOptimize(result.stdoutData.size());
    }
}

void BM_ReadDock(benchmark::State& state) {
    fixture();
    for (auto _ : state) {
        auto reading = DockReader::readDock();
        if (!std::holds_alternative<DockReading>(reading))
            state.SkipWithError("reading failed");
        else if (std::get<DockReading>(reading).apps.size() + std::get<DockReading>(reading).items.size() != kTiles)
            state.SkipWithError("unexpected tile count");
    }
}

void BM_ParseDomainPerTile(benchmark::State& state) {
    const QVariantMap& parsed = fixture().parsed;
    for (auto _ : state)
        benchmark::DoNotOptimize(DockReader::parseDomain(parsed));
    state.SetItemsProcessed(state.iterations() * kTiles);
    state.counters["ns/tile"] = benchmark::Counter(double(state.iterations()) * kTiles,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ParsePlistAndDomainPerTile(benchmark::State& state) {
    const QByteArray& xml = fixture().xml;
    for (auto _ : state) {
        const PlistParseResult result = parsePlist(xml);
        benchmark::DoNotOptimize(DockReader::parseDomain(result.value->toMap()));
    }
    state.SetItemsProcessed(state.iterations() * kTiles);
    state.counters["ns/tile"] = benchmark::Counter(double(state.iterations()) * kTiles,
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_DefaultsExportAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadDock)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseDomainPerTile)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParsePlistAndDomainPerTile)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bench::RatioReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_Defaults
                                                         : benchmark::ConsoleReporter::OO_Tabular);
    reporter.addRatio("BM_ReadDock", "BM_DefaultsExportAlone", [](double reading, double floor) {
        std::printf("readDock / defaults export alone: %.3f (%.3f ms vs %.3f ms, %d tiles)\n", reading / floor, reading,
                    floor, kTiles);
    });
    return bench::runBenchmarks(argc, argv, reporter);
}
