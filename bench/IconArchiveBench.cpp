// The icon archive of a 30-app preset whose bundles hold ten-image icon files, against `zip -j` of
// the same largest PNGs.
#include "BenchSupport.h"

#include "platform/Icns.h"
#include "platform/SystemPaths.h"
#include "themes/IconExtractionService.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrl>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

using namespace pierline;

namespace {

constexpr int kApps = 30;

// Noise over a gradient, so the PNG is as large as a detailed icon's.
QByteArray noisyPng(int side, quint32 seed) {
    QImage image(side, side, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = qRgba((x * 255 / side) ^ int(random.bounded(64)), (y * 255 / side) ^ int(random.bounded(64)),
                            int(random.bounded(256)), 255);
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

struct Preset {
    bench::QuietHome quiet;
    QString apps;        // the stored app list
    QString floorScript; // zip -j of the largest PNGs
};

Preset& preset() {
    static Preset p = [] {
        Preset made;
        const QString home = made.quiet.home.path();
        const QString pngs = QDir(home).filePath(QStringLiteral("pngs"));
        QJsonArray apps;
        for (int i = 0; i < kApps; ++i) {
            const QString name = QStringLiteral("App %1").arg(i, 2, 10, QLatin1Char('0'));
            const QString bundle = QDir(home).filePath(QStringLiteral("Applications/%1.app").arg(name));
            bench::writeFile(bundle + QStringLiteral("/Contents/Info.plist"),
                             QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                                            "<key>CFBundleExecutable</key><string>app</string>"
                                            "<key>CFBundleIconFile</key><string>AppIcon</string></dict></plist>\n")
                                 .toUtf8());
            bench::writeFile(bundle + QStringLiteral("/Contents/MacOS/app"), "#!/bin/sh\n");
            QList<icns::Element> elements;
            for (const icns::IconsetImage& image : icns::iconsetImages())
                elements.append({image.type, noisyPng(image.pixels, quint32(i * 100 + image.pixels))});
            const QByteArray icon = icns::write(elements);
            bench::writeFile(bundle + QStringLiteral("/Contents/Resources/AppIcon.icns"), icon);
            bench::writeFile(QDir(pngs).filePath(name + QStringLiteral(".png")), *icns::largestPng(icon));
            apps.append(QUrl::fromLocalFile(bundle + QLatin1Char('/')).toString(QUrl::FullyEncoded));
        }
        made.apps = QString::fromUtf8(QJsonDocument(apps).toJson(QJsonDocument::Compact));
        const QString archive = QDir(SystemPaths::temporaryDirectory()).filePath(QStringLiteral("floor.zip"));
        made.floorScript = QDir(home).filePath(QStringLiteral("floor.zsh"));
        bench::writeFile(made.floorScript,
                         QStringLiteral("rm -f '%1'\ncd '%2' && zip -q -j '%1' *.png\n").arg(archive, pngs).toUtf8());
        return made;
    }();
    return p;
}

void BM_IconArchive(benchmark::State& state) {
    const QString apps = preset().apps;
    for (auto _ : state) {
        const QString archive = IconExtractionService().extractIcons(apps);
        state.PauseTiming();
        QFile::remove(archive);
        state.ResumeTiming();
    }
}

void BM_ZipOfLargestPngs(benchmark::State& state) {
    const QString script = preset().floorScript;
    for (auto _ : state)
        bench::runBareScript(state, script);
}

BENCHMARK(BM_IconArchive)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ZipOfLargestPngs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bench::RatioReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_Defaults
                                                         : benchmark::ConsoleReporter::OO_Tabular);
    reporter.addRatio("icon archive against zip -j (goal 1.5 or less)", "BM_IconArchive", "BM_ZipOfLargestPngs");
    return bench::runBenchmarks(argc, argv, reporter);
}
