#pragma once

// For suites that drive the built `pierline` binary (they define PIERLINE_BINARY).
#include <QMap>
#include <QProcess>
#include <gtest/gtest.h>
#include <memory>

namespace pierline::test {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The test's environment (its PIERLINE_HOME and tools) with `env` on top.
inline QProcessEnvironment environmentWith(const QMap<QString, QString>& env) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    return environment;
}

// Starts `pierline` in environmentWith(env).
inline std::unique_ptr<QProcess> startPierline(const QStringList& args, const QMap<QString, QString>& env = {}) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environmentWith(env));
    process->start(QStringLiteral(PIERLINE_BINARY), args);
    return process;
}

// Waits for it, bounded in real time, and collects its exit code and output.
inline CliRun finishPierline(QProcess& process, int timeoutMs = 60000) {
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "pierline did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

inline CliRun runPierline(const QStringList& args, const QMap<QString, QString>& env = {}) {
    return finishPierline(*startPierline(args, env));
}

} // namespace pierline::test
