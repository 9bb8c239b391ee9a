#pragma once

#include <QString>
#include <atomic>
#include <mutex>
#include <optional>

namespace pierline {

// What one shell command gave: its trimmed output, and whether it ran to a zero exit in time.
struct ShellResult {
    QString output;
    bool succeeded = false;
};

// How one call wants its command run; unset fields take the runner's defaults.
struct ShellOptions {
    std::optional<double> timeLimit; // seconds; the runner's timeLimit() when unset
    bool trimmed = true;             // false: the output exactly as the command printed it
    // The caller's printed lines: the first is followed by the command, the second by the error.
    QString timedOutLine = QStringLiteral("Warning: shell command timed out: ");
    std::optional<QString> launchFailedLine; // unset: "Error launching shell command: COMMAND - ERROR"
};

// Runs one command text through "/bin/zsh -c" with a time limit and returns its trimmed output.
// An overrunning command is abandoned, not stopped, and its late output dropped.
class ShellRunner {
public:
    static ShellRunner& shared();

    QString run(const QString& command) { return runForResult(command).output; }
    ShellResult runForResult(const QString& command, const ShellOptions& options = {});

    double timeLimit() const { return timeLimit_.load(); }
    void setTimeLimit(double seconds) { timeLimit_.store(seconds); }

    static constexpr double kDefaultTimeLimit = 5.0;

    // The shell program (SystemPaths::shellPath() unless set); tests point it at a missing file.
    QString shellProgram() const;
    void setShellProgram(const QString& path); // empty restores the default

private:
    std::atomic<double> timeLimit_{kDefaultTimeLimit};
    mutable std::mutex shellMutex_;
    QString shellProgram_;
};

inline QString runShellCommand(const QString& command) {
    return ShellRunner::shared().run(command);
}
inline ShellResult runShellCommandForResult(const QString& command) {
    return ShellRunner::shared().runForResult(command);
}

} // namespace pierline
