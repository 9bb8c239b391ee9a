// Writing the Dock: each writer against a bare shell script that runs the same command lines, so
// the ratio shows what the writer adds to the child processes it cannot avoid. The one-second
// restart pause is taken on a clock that does not sleep.
#include "BenchSupport.h"

#include "dock/DefaultsWriter.h"
#include "dock/DockutilWriter.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Url.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <benchmark/benchmark.h>

using namespace pierline;

namespace {

constexpr int kApps = 26;
constexpr int kSpacers = 4;
constexpr int kFolders = 6;
constexpr int kFiles = 2;
constexpr int kLinks = 2;
constexpr int kTiles = kApps + kSpacers + kFolders + kFiles + kLinks; // 40

QString dirUrl(const QString& path) {
    return fileUrlFromPath(path, true).toString(QUrl::FullyEncoded);
}

struct Fixture : bench::QuietHome {
    QStringList apps;
    QList<DockFolderStackValues> items;
    QString defaultsScript;
    QString dockutilScript;

    Fixture() {
        // A preset of 40 tiles whose bundles, folders and files exist, as dockutil insists.
        for (int i = 0; i < kApps; ++i) {
            const QString bundle = home.filePath(QStringLiteral("Applications/App Number %1.app").arg(i));
            bench::writeFile(bundle + "/Contents/Info.plist",
                             "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict/></plist>");
            apps.append(dirUrl(bundle));
            if (i % 7 == 6 && apps.size() < kApps + kSpacers)
                apps.append(QStringLiteral("pierline-spacer-%1").arg(i));
        }
        while (apps.size() < kApps + kSpacers)
            apps.append(QStringLiteral("pierline-small-spacer-%1").arg(apps.size()));
        static const QStringList views = {"auto", "fan", "grid", "list"};
        static const QStringList sorts = {"name", "date added", "date modified", "date created", "kind"};
        for (int i = 0; i < kFolders; ++i) {
            const QString path = home.filePath(QStringLiteral("Users/me/Folder %1").arg(i));
            QDir().mkpath(path);
            DockFolderStackValues v;
            v.path = dirUrl(path);
            v.itemType = "folder";
            v.showAs = views.at(i % views.size());
            v.displayAs = i % 2 ? "stack" : "folder";
            v.sortOrder = sorts.at(i % sorts.size());
            items.append(v);
        }
        for (int i = 0; i < kFiles; ++i) {
            const QString path = home.filePath(QStringLiteral("Users/me/doc %1.txt").arg(i));
            bench::writeFile(path, "text");
            DockFolderStackValues v;
            v.path = fileUrlFromPath(path).toString(QUrl::FullyEncoded);
            v.itemType = "file";
            v.label = QStringLiteral("doc %1.txt").arg(i);
            items.append(v);
        }
        for (int i = 0; i < kLinks; ++i) {
            DockFolderStackValues v;
            v.itemType = "url";
            v.url = QStringLiteral("https://example.com/%1").arg(i);
            v.label = QStringLiteral("Link %1").arg(i);
            items.append(v);
        }

        // The bare scripts: the writers' own command lines, one shell for all of them.
        // The writer removes its files after each apply; the script imports the same two lists kept here.
        const QDir lists(home.path());
        QString error;
        if (!DefaultsWriter::writeFiles(lists.path(), DefaultsWriter::appTiles(apps), DefaultsWriter::itemTiles(items),
                                        &error))
            qFatal("%s", qPrintable(error));
        defaultsScript = home.filePath("defaults.zsh");
        bench::writeFile(defaultsScript, DefaultsWriter::commands(lists.filePath(DefaultsWriter::kAppsFileName),
                                                                  lists.filePath(DefaultsWriter::kItemsFileName))
                                             .join('\n')
                                             .toUtf8());
        QStringList dockutilLines;
        for (const WriterStep& step : DockutilWriter::plan(SystemPaths::toolPath("dockutil"), "Bench", apps, items))
            if (step.kind == WriterStep::Kind::Run)
                dockutilLines.append(step.text);
        dockutilScript = home.filePath("dockutil.zsh");
        bench::writeFile(dockutilScript, dockutilLines.join('\n').toUtf8());
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_DefaultsWriter(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state)
        if (!DefaultsWriter::apply("Bench", f.apps, f.items, {}))
            state.SkipWithError("write failed");
}

void BM_DefaultsBareScript(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state)
        bench::runBareScript(state, f.defaultsScript);
}

void BM_DockutilWriter(benchmark::State& state) {
    Fixture& f = fixture();
    const QString tool = SystemPaths::toolPath("dockutil");
    for (auto _ : state)
        DockutilWriter::apply(tool, "Bench", f.apps, f.items, {});
}

void BM_DockutilBareScript(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state)
        bench::runBareScript(state, f.dockutilScript);
}

BENCHMARK(BM_DefaultsWriter)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_DefaultsBareScript)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_DockutilWriter)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DockutilBareScript)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bench::RatioReporter reporter;
    reporter.addRatio("defaults writer / bare script (3 commands)", "BM_DefaultsWriter", "BM_DefaultsBareScript");
    reporter.addRatio("dockutil writer / bare script (40 tiles, 42 commands)", "BM_DockutilWriter",
                      "BM_DockutilBareScript");
    const int code = bench::runBenchmarks(argc, argv, reporter);
    setLogSink(nullptr);
    Clock::setShared(nullptr);
    return code;
}
