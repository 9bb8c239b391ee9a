#pragma once

// The `gsettings` tool, run in a test's own settings environment, to set up and read back what
// the code under test sees.
#include "support/PierlineCli.h"

#include <QRegularExpression>
#include <QStringList>

namespace pierline::test {

// Its output, trimmed; a failure of the tool fails the test.
inline QString runGsettings(const QStringList& args, const QMap<QString, QString>& env) {
    QProcess process;
    process.setProcessEnvironment(environmentWith(env));
    process.start(QStringLiteral("gsettings"), args);
    EXPECT_TRUE(process.waitForFinished(30000)) << "gsettings " << args.join(' ').toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A string list as `gsettings` takes and prints it.
inline QString gvariantStringList(const QStringList& values) {
    QStringList quoted;
    for (const QString& value : values)
        quoted << QLatin1Char('\'') + value + QLatin1Char('\'');
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}
inline QStringList parseGvariantStringList(const QString& text) {
    QStringList values;
    for (const auto& match : QRegularExpression(QStringLiteral("'([^']*)'")).globalMatch(text))
        values << match.captured(1);
    return values;
}

} // namespace pierline::test
