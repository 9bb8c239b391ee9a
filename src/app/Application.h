#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace pierline {

// The running app: its process-wide parts, brought up in order and taken down in reverse, so
// every part finds the ones it uses alive for its whole life.
class Application {
public:
    struct Part {
        QString name;
        // nullopt: up. A code: the app ends with it (the part has printed why); the parts that
        // are up already go down first.
        std::function<std::optional<int>()> start;
        // False after printing why: the other parts still go down, and the app exits 1.
        std::function<bool()> stop;
    };

    // The parts of `pierline run`: the instance (lock and socket), the store, the settings, the
    // hotkey managers and the alert presenter.
    static QList<Part> standardParts();

    explicit Application(QList<Part> parts);

    // Brings the parts up, runs the event loop until `quit`, SIGTERM or SIGINT (closing a window
    // does not end it), takes the parts down and returns the exit code.
    int exec();

private:
    std::optional<int> startParts();
    bool stopParts();

    QList<Part> parts_;
    qsizetype started_ = 0;
};

} // namespace pierline
