#pragma once

#include "platform/Plist.h"
#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"

#include <QFile>
#include <QString>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace pierline::test {

// One run of an emulated tool as a real child process of the current PIERLINE_HOME.
struct ToolRun {
    int exit = -1;
    QByteArray out;
    QString err;
};

inline ToolRun runTool(const QString& name, const QStringList& args, const QByteArray& input = {}) {
    const ProcessResult r = runProcess(SystemPaths::toolPath(name), args, input);
    return {r.exitStatus, r.stdoutData, QString::fromUtf8(r.stderrData)};
}

inline QVariant parsedFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const PlistParseResult parsed = parsePlist(file.readAll());
    return parsed.value.value_or(QVariant());
}

inline QVariantMap dockDomain() {
    return parsedFile(SystemPaths::preferencesFile(QStringLiteral("com.apple.dock"))).toMap();
}

inline QVariantMap tileData(const QVariant& tile) {
    return tile.toMap().value(QStringLiteral("tile-data")).toMap();
}

inline QString tileUrl(const QVariant& tile) {
    const QVariantMap data = tileData(tile);
    const QString file =
        data.value(QStringLiteral("file-data")).toMap().value(QStringLiteral("_CFURLString")).toString();
    return file.isEmpty() ? data.value(QStringLiteral("url")).toMap().value(QStringLiteral("_CFURLString")).toString()
                          : file;
}

inline QString tileType(const QVariant& tile) {
    return tile.toMap().value(QStringLiteral("tile-type")).toString();
}

} // namespace pierline::test
