#pragma once

#include <QString>

namespace pierline {

enum class LogLevel { Debug, Info, Notice, Error, Fault };

struct LogRecord {
    QString subsystem;
    QString category;
    LogLevel level;
    QString message;
};

// Where both logs end up. Tests install a capturing sink.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void plain(const QString& line) = 0;
    // A plain line the user must see even when progress lines are hidden (errors, warnings).
    virtual void warning(const QString& line) { plain(line); }
    virtual void structured(const LogRecord& record) = 0;
};

void setLogSink(LogSink* sink); // nullptr restores the default sink
LogSink& currentLogSink();      // the installed sink, or the default one
// The running app prints the plain log to stdout. A subcommand keeps stdout for its answer: its
// plain lines go to the structured log, and to stderr only when verbose; warnings always reach stderr.
void setPlainLogToStderr(bool toStderr);
void setVerbose(bool verbose);
bool isVerbose();

// The plain log: one line, exactly as worded.
void printLine(const QString& line);
// A plain-log line that reports a failure or a warning; always shown to the user.
void printWarning(const QString& line);

// Where the structured log of this home can be read: the log file, or how to query the journal.
QString structuredLogLocation();

inline constexpr const char* kSubsystem = "com.corvane.pierline";

// The structured log of one component.
class Logger {
public:
    explicit Logger(QString category) : category_(std::move(category)) {}
    void debug(const QString& message) const { write(LogLevel::Debug, message); }
    void info(const QString& message) const { write(LogLevel::Info, message); }
    void notice(const QString& message) const { write(LogLevel::Notice, message); }
    void error(const QString& message) const { write(LogLevel::Error, message); }
    void fault(const QString& message) const { write(LogLevel::Fault, message); }
    const QString& category() const { return category_; }

private:
    void write(LogLevel level, const QString& message) const;
    QString category_;
};

} // namespace pierline
