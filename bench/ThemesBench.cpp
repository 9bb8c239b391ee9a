// Loading a themes folder of 100 theme files (limit 50 ms), against a bare QJsonDocument parse of
// the same files.
#include "BenchSupport.h"

#include "platform/UserDefaults.h"
#include "themes/ThemeManager.h"

#include <QCoreApplication>
#include <QJsonDocument>

using namespace pierline;

namespace {

constexpr int kThemes = 100;

struct Fixture {
    bench::QuietHome home;
    QString folder = home.home.filePath(QStringLiteral("Themes"));
    UserDefaults defaults{QStringLiteral("com.corvane.pierline")};
    std::unique_ptr<ThemeManager> manager;

    Fixture() {
        QFile bundled(QStringLiteral(":/DefaultThemes/Pierline-Ocean.json"));
        bundled.open(QIODevice::ReadOnly);
        QJsonObject theme = QJsonDocument::fromJson(bundled.readAll()).object();
        for (int i = 0; i < kThemes; ++i) {
            theme.insert(QStringLiteral("id"), QStringLiteral("theme-%1").arg(i));
            bench::writeFile(QDir(folder).filePath(QStringLiteral("Theme-%1.json").arg(i, 3, 10, QLatin1Char('0'))),
                             QJsonDocument(theme).toJson());
        }
        // Nothing to copy: the bundled folder is one that does not exist.
        manager = std::make_unique<ThemeManager>(
            defaults, ThemeSources{folder, home.home.filePath(QStringLiteral("none")), QString()});
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_LoadThemes(benchmark::State& state) {
    ThemeManager& manager = *fixture().manager;
    for (auto _ : state) {
        manager.loadThemes();
        if (manager.availableThemes().size() != kThemes)
            state.SkipWithError("not every theme loaded");
    }
}

void BM_BareJsonParse(benchmark::State& state) {
    const QDir folder(fixture().folder);
    for (auto _ : state) {
        int parsed = 0;
        for (const QFileInfo& entry : folder.entryInfoList({QStringLiteral("*.json")}, QDir::Files)) {
            QFile file(entry.filePath());
            if (file.open(QIODevice::ReadOnly) && QJsonDocument::fromJson(file.readAll()).isObject())
                ++parsed;
        }
        if (parsed != kThemes)
            state.SkipWithError("not every file parsed");
    }
}

BENCHMARK(BM_LoadThemes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareJsonParse)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bench::RatioReporter reporter;
    reporter.addRatio("BM_LoadThemes", "BM_BareJsonParse", [](double ms, double floor) {
        std::printf("Loading %d theme files: %.1f ms (limit 50 ms; a bare parse %.1f ms)\n", kThemes, ms, floor);
    });
    const int exit = bench::runBenchmarks(argc, argv, reporter);
    Clock::setShared(nullptr);
    setLogSink(nullptr);
    return exit;
}
