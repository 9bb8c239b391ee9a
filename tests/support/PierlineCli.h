#pragma once

// For suites that drive the built `pierline` binary (they define PIERLINE_BINARY).
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/stat.h>

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

// Ends a `pierline run` started by a test: asks it to quit, and kills what has not ended after 10 s.
inline void stopPierline(QProcess* app, const QMap<QString, QString>& env) {
    if (!app || app->state() == QProcess::NotRunning)
        return;
    runPierline({QStringLiteral("quit")}, env);
    if (!app->waitForFinished(10000)) {
        app->kill();
        app->waitForFinished();
    }
}

// A home in `dir` with a private runtime and temporary folder there, for suites that run the app.
inline QMap<QString, QString> privateHomeEnvironment(const QTemporaryDir& dir) {
    QDir(dir.path()).mkpath(QStringLiteral("runtime"));
    ::chmod(QFile::encodeName(dir.filePath(QStringLiteral("runtime"))).constData(), 0700);
    return {{QStringLiteral("PIERLINE_HOME"), dir.filePath(QStringLiteral("home"))},
            {QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime"))},
            {QStringLiteral("TMPDIR"), dir.path()}};
}

// Waits, bounded in real time, until the app started as `app` says it runs; gives its status then,
// nullopt when it ended or never came up.
inline std::optional<QJsonObject> waitForRunningApp(const QProcess& app, const QMap<QString, QString>& env,
                                                    int timeoutMs = 20000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && app.state() == QProcess::Running) {
        const QJsonObject status =
            QJsonDocument::fromJson(runPierline({QStringLiteral("status"), QStringLiteral("--json")}, env).out.toUtf8())
                .object();
        if (status.value(QStringLiteral("running")).toBool())
            return status;
        QThread::msleep(50);
    }
    return std::nullopt;
}

} // namespace pierline::test
