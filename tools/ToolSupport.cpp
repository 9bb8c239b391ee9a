#include "ToolSupport.h"

#include "platform/Plist.h"
#include "platform/SystemPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace pierline::tools {

QStringList argumentsOf(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

void writeOut(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void printErr(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

std::optional<DomainRef> resolveDomain(const QString& domain) {
    if (domain == QLatin1String("-g") || domain == QLatin1String("-globalDomain") ||
        domain == QLatin1String("NSGlobalDomain")) {
        const QString name = QStringLiteral(".GlobalPreferences");
        return DomainRef{name, SystemPaths::preferencesFile(name)};
    }
    if (domain.startsWith(QLatin1Char('/'))) {
        QString path = QDir::cleanPath(domain);
        if (path.endsWith(QLatin1String(".plist")))
            path.chop(6);
        if (path.isEmpty() || path == QLatin1String("/"))
            return std::nullopt;
        // UserDefaults joins its name onto the preferences folder; an absolute name stays as is.
        return DomainRef{path, path + QStringLiteral(".plist")};
    }
    if (domain.isEmpty() || domain.contains(QLatin1Char('/')) || domain == QLatin1String(".") ||
        domain == QLatin1String("..") || domain.contains(QChar(0)))
        return std::nullopt;
    return DomainRef{domain, SystemPaths::preferencesFile(domain)};
}

DomainContents readDomainFile(const QString& path) {
    DomainContents contents;
    QFile file(path);
    if (!file.exists())
        return contents;
    contents.exists = true;
    if (!file.open(QIODevice::ReadOnly)) {
        contents.error = file.errorString();
        return contents;
    }
    PlistParseResult parsed = parsePlist(file.readAll());
    if (parsed.value)
        contents.value = std::move(parsed.value);
    else
        contents.error = parsed.error;
    return contents;
}

bool recordDockRestart(QString* error) {
    const QString folder = SystemPaths::logsFolder();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    QFile log(QDir(folder).filePath(QStringLiteral("Dock.log")));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(log.fileName(), log.errorString());
        return false;
    }
    // One write per line, so concurrent restarts never interleave within a line.
    const QByteArray line =
        QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toUtf8() + QByteArrayLiteral(" Dock restarted\n");
    if (log.write(line) != line.size()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(log.fileName(), log.errorString());
        return false;
    }
    return true;
}

} // namespace pierline::tools
