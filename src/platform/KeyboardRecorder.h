#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

namespace pierline {

// One thing the keyboard did while held for recording.
struct RecordedKeyEvent {
    enum class Kind {
        KeyDown,      // a key other than a modifier went down
        FlagsChanged, // a modifier key went down or up
    };
    Kind kind = Kind::KeyDown;
    // The Carbon key code of the key (54-62 for a modifier key).
    quint32 carbonKeyCode = 0;
    // Cocoa modifier flags: those held at a key-down, those held after a modifier change.
    quint64 modifierFlags = 0;
    // When the key moved, in seconds on the keyboard's own clock; only differences mean anything.
    double seconds = 0;
};

// Takes the whole keyboard for a while, so the next combination the user presses reaches us
// whatever window has the focus, and reaches nobody else. Main thread only.
class KeyboardRecorder {
public:
    using Handler = std::function<void(const RecordedKeyEvent&)>;

    virtual ~KeyboardRecorder() = default;

    // Grabs the keyboard; events then reach `handler` from the main loop, never inside this call,
    // until stop(). False with `error` set when there is no display or another client keeps the
    // keyboard. Keys with no Carbon key code are not reported; key releases only as modifier changes.
    [[nodiscard]] virtual bool start(Handler handler, QString& error) = 0;
    // Gives the keyboard back; nothing is reported after it. Safe to call at any time.
    virtual void stop() = 0;
};

// The platform's recorder (a keyboard grab on X11).
std::unique_ptr<KeyboardRecorder> createKeyboardRecorder();

} // namespace pierline
