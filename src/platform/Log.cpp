#include "Log.h"

#include "SystemPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

int syslogPriority(LogLevel level) {
    switch (level) {
    case LogLevel::Debug:
        return 7;
    case LogLevel::Info:
        return 6;
    case LogLevel::Notice:
        return 5;
    case LogLevel::Error:
        return 3;
    case LogLevel::Fault:
        return 2;
    }
    return 6;
}

std::atomic<bool> g_plainToStderr{false};
std::atomic<bool> g_verbose{false};

// Category under which a subcommand's plain lines are kept in the structured log.
const QString kPlainCategory = QStringLiteral("plain");

// Plain lines to the console (in a subcommand: to the structured log, and to stderr when verbose);
// structured lines to the systemd journal when its socket is reachable, else appended to
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
        if (sendToJournal(record))
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

    bool sendToJournal(const LogRecord& record) {
        static const char* socketPath = "/run/systemd/journal/socket";
        if (::access(socketPath, W_OK) != 0)
            return false;
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", socketPath);
        QByteArray message = record.message.toUtf8();
        message.replace('\n', ' ');
        const QByteArray payload = "MESSAGE=" + message +
                                   "\nPRIORITY=" + QByteArray::number(syslogPriority(record.level)) +
                                   "\nSYSLOG_IDENTIFIER=pierline\nPIERLINE_SUBSYSTEM=" + record.subsystem.toUtf8() +
                                   "\nPIERLINE_CATEGORY=" + record.category.toUtf8() + "\n";
        const ssize_t sent = ::sendto(fd, payload.constData(), static_cast<size_t>(payload.size()), 0,
                                      reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        ::close(fd);
        return sent == payload.size();
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
    static DefaultSink sink;
    return sink;
}

std::atomic<LogSink*> g_sink{nullptr};

LogSink& currentSink() {
    LogSink* sink = g_sink.load();
    return sink ? *sink : defaultSink();
}

} // namespace

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
    if (::access("/run/systemd/journal/socket", W_OK) == 0)
        return QStringLiteral("journalctl -t pierline");
    return QDir(SystemPaths::logsFolder()).filePath(QStringLiteral("Pierline.log"));
}

void Logger::write(LogLevel level, const QString& message) const {
    currentSink().structured({QString::fromLatin1(kSubsystem), category_, level, message});
}

} // namespace pierline
