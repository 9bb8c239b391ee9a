// The least a Qt program can do to read the Dock: start, run `defaults export com.apple.dock -`
// and print what it printed. bench/startup.sh sets `pierline dock --json` against it, so the part
// of the start-up that is Pierline's own shows apart from what any such reader pays.
#include <QCoreApplication>
#include <QProcess>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PATH-OF-DEFAULTS\n", argv[0]);
        return 2;
    }
    QProcess defaults;
    defaults.start(QString::fromLocal8Bit(argv[1]),
                   {QStringLiteral("export"), QStringLiteral("com.apple.dock"), QStringLiteral("-")});
    if (!defaults.waitForFinished(-1) || defaults.exitStatus() != QProcess::NormalExit || defaults.exitCode() != 0) {
        std::fprintf(stderr, "%s export failed: %s\n", argv[1],
                     defaults.error() == QProcess::UnknownError ? defaults.readAllStandardError().constData()
                                                                : defaults.errorString().toLocal8Bit().constData());
        return 1;
    }
    const QByteArray out = defaults.readAllStandardOutput();
    return std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout) == static_cast<size_t>(out.size())
               ? 0
               : 1;
}
