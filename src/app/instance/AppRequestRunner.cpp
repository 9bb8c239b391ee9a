#include "AppRequestRunner.h"

#include "app/Cli.h"
#include "platform/Log.h"

#include <QDir>
#include <mutex>

namespace pierline {
namespace {

// Tees the plain log into the caller's stderr while its request runs; the app's own log goes on.
// One instance for the app's life: side effects may still log from pool threads after a reply.
class RequestLogSink : public LogSink {
public:
    explicit RequestLogSink(LogSink& app) : app_(app) {}

    void begin(cli::CapturedOutput* capture, bool verbose) {
        std::lock_guard lock(mutex_);
        capture_ = capture;
        verbose_ = verbose;
    }
    void end() { begin(nullptr, false); }

    void plain(const QString& line) override {
        app_.plain(line);
        append(line, false);
    }
    void warning(const QString& line) override {
        app_.warning(line);
        append(line, true);
    }
    void structured(const LogRecord& record) override { app_.structured(record); }

private:
    void append(const QString& line, bool warning) {
        std::lock_guard lock(mutex_);
        if (capture_ && (warning || verbose_)) {
            std::lock_guard captureLock(capture_->mutex);
            capture_->err.append(line.toUtf8() + '\n');
        }
    }

    LogSink& app_;
    std::mutex mutex_;
    cli::CapturedOutput* capture_ = nullptr;
    bool verbose_ = false;
};

RequestLogSink& requestLogSink() {
    static RequestLogSink* sink = [] {
        auto* made = new RequestLogSink(currentLogSink());
        setLogSink(made);
        return made;
    }();
    return *sink;
}

} // namespace

CommandReply runRequestInApp(const CommandRequest& request) {
    const bool verbose =
        request.arguments.contains(QStringLiteral("-v")) || request.arguments.contains(QStringLiteral("--verbose"));
    cli::CapturedOutput capture;
    RequestLogSink& sink = requestLogSink();
    const QString previousFolder = QDir::currentPath();
    // Relative paths in the arguments mean the caller's folder.
    if (!request.workingFolder.isEmpty() && !QDir::setCurrent(request.workingFolder)) {
        const QString message = QStringLiteral("Pierline cannot use your working folder %1; give absolute paths\n")
                                    .arg(request.workingFolder);
        return CommandReply{cli::kExitFailed, {}, message.toUtf8()};
    }
    sink.begin(&capture, verbose);
    cli::setCapturedOutput(&capture);
    int code = cli::kExitFailed;
    try {
        code = cli::runCommand(request.arguments, true);
    } catch (const std::exception& e) {
        cli::err(QStringLiteral("Unexpected failure: %1").arg(QString::fromUtf8(e.what())));
    }
    cli::setCapturedOutput(nullptr);
    sink.end();
    QDir::setCurrent(previousFolder);
    std::lock_guard lock(capture.mutex);
    return CommandReply{code, capture.out, capture.err};
}

} // namespace pierline
