#include "Log.h"
#include "QtMessages.h"

#include "SystemLog.h"
#include "SystemPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace pierline {
namespace {

const char* levelName(LogLevel level) {
    switch (level) {
    case LogLevel::Debug:
        return "debug";
    case LogLevel::Info:
        return "info";
    case LogLevel::Notice:
        return "notice";
    case LogLevel::Error:
        return "error";
    case LogLevel::Fault:
        return "fault";
    }
    return "info";
}

std::atomic<bool> g_plainToStderr{false};
std::atomic<bool> g_verbose{false};

// Category under which a subcommand's plain lines are kept in the structured log.
const QString kPlainCategory = QStringLiteral("plain");

// Plain lines to the console (in a subcommand: to the structured log, and to stderr when verbose);
// structured lines to the system log when it is reachable, else appended to
// Library/Logs/Pierline.log.
class DefaultSink : public LogSink {
public:
    void plain(const QString& line) override {
        if (!g_plainToStderr.load()) {
            print(stdout, line);
            return;
        }
        structured({QString::fromLatin1(kSubsystem), kPlainCategory, LogLevel::Info, line});
        if (g_verbose.load())
            print(stderr, line);
    }

    void warning(const QString& line) override {
        if (!g_plainToStderr.load()) {
            print(stdout, line);
            return;
        }
        structured({QString::fromLatin1(kSubsystem), kPlainCategory, LogLevel::Error, line});
        print(stderr, line);
    }

    void structured(const LogRecord& record) override {
        if (record.level == LogLevel::Debug)
            return; // debug lines are not persisted, as on macOS
        std::lock_guard lock(mutex_);
        if (system_log::send(record))
            return;
        appendToFile(record);
    }

private:
    void print(FILE* out, const QString& line) {
        const QByteArray bytes = line.toUtf8() + '\n';
        std::lock_guard lock(mutex_);
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
        std::fflush(out);
    }

    void appendToFile(const LogRecord& record) {
        // Logging must not turn a mistyped PIERLINE_HOME into a new home.
        if (!QFileInfo(SystemPaths::home()).isDir())
            return;
        const QString folder = SystemPaths::logsFolder();
        if (!QDir().mkpath(folder))
            return;
        QFile file(QDir(folder).filePath(QStringLiteral("Pierline.log")));
        if (!file.open(QIODevice::Append | QIODevice::Text))
            return;
        const QString line =
            QStringLiteral("%1 %2 [%3:%4] %5\n")
                .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                     QString::fromLatin1(levelName(record.level)), record.subsystem, record.category, record.message);
        file.write(line.toUtf8());
    }

    std::mutex mutex_;
};

DefaultSink& defaultSink() {
    // Never destroyed: Qt may still log from its own teardown after main returns.
    static DefaultSink* const sink = new DefaultSink;
    return *sink;
}

std::atomic<LogSink*> g_sink{nullptr};

LogSink& currentSink() {
    LogSink* sink = g_sink.load();
    return sink ? *sink : defaultSink();
}

QtMessageHandler g_qtHandler = nullptr;

void qtMessageToLog(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // Qt ends the process after a fatal message: let its own handler print why.
    if (type == QtFatalMsg) {
        if (g_qtHandler)
            g_qtHandler(type, context, message);
        else
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    // Writing the log may itself make Qt complain; that one is dropped, not looped on.
    static thread_local bool inside = false;
    if (inside)
        return;
    inside = true;
    const LogLevel level = type == QtDebugMsg     ? LogLevel::Debug
                           : type == QtInfoMsg    ? LogLevel::Info
                           : type == QtWarningMsg ? LogLevel::Notice
                                                  : LogLevel::Error;
    const QString category = QString::fromLatin1(context.category ? context.category : "default");
    currentSink().structured({QString::fromLatin1(kSubsystem), QStringLiteral("qt"), level,
                              QStringLiteral("%1: %2").arg(category, message)});
    if (g_verbose.load())
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    inside = false;
}

} // namespace

void sendQtMessagesToLog() {
    const QtMessageHandler previous = qInstallMessageHandler(qtMessageToLog);
    if (previous != qtMessageToLog)
        g_qtHandler = previous;
}

void setLogSink(LogSink* sink) {
    g_sink.store(sink);
}
LogSink& currentLogSink() {
    return currentSink();
}
void setPlainLogToStderr(bool toStderr) {
    g_plainToStderr.store(toStderr);
}
void setVerbose(bool verbose) {
    g_verbose.store(verbose);
}
bool isVerbose() {
    return g_verbose.load();
}

void printLine(const QString& line) {
    currentSink().plain(line);
}
void printWarning(const QString& line) {
    currentSink().warning(line);
}

QString structuredLogLocation() {
    if (auto hint = system_log::readingHint())
        return *hint;
    return QDir(SystemPaths::logsFolder()).filePath(QStringLiteral("Pierline.log"));
}

void Logger::write(LogLevel level, const QString& message) const {
    currentSink().structured({QString::fromLatin1(kSubsystem), category_, level, message});
}

} // namespace pierline
