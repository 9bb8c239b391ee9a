#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>

class QSocketNotifier;
struct _XDisplay;

namespace pierline::x11 {

// The one X connection behind the hotkey registrar and the modifier monitor. Core key events
// (from our passive grabs) and XInput2 raw key events (for the modifier monitor) are read from
// it on the main thread, so every key transition is seen exactly once.
class EventSource : public QObject {
public:
    struct KeyEvent {
        bool press = false;
        unsigned keycode = 0;
        unsigned state = 0;         // modifier and button state at the event
        unsigned long time = 0;     // server time
        bool repeatFollows = false; // a release immediately followed by the press of the same key
    };
    using KeyListener = std::function<void(const KeyEvent&)>;
    using RawKeyListener = std::function<void(bool press, unsigned keycode)>;
    // A property of the root window changed (its atom).
    using RootPropertyListener = std::function<void(unsigned long atom)>;

    // The process's source, opened on first success; nullptr (and `error` set) when there is no
    // display or no Qt application to deliver on. Main thread only.
    static EventSource* instance(QString* error = nullptr);

    _XDisplay* display() const { return display_; }
    unsigned long rootWindow() const { return root_; }
    // True when raw key events are available (XInput 2.1 or newer).
    bool hasRawKeyEvents() const { return xiOpcode_ >= 0; }
    // The modifier bit NumLock sets in event states (0 when NumLock is not mapped).
    unsigned numLockMask() const { return numLockMask_; }

    int addKeyListener(KeyListener listener);
    int addRawKeyListener(RawKeyListener listener);
    // The first one selects property changes on the root window.
    int addRootPropertyListener(RootPropertyListener listener);
    void removeListener(int id);

    // Xlib may read events into its queue during any round trip; this delivers them from the
    // main loop, since the socket will not signal them again.
    void deliverQueuedSoon();

private:
    EventSource(_XDisplay* display);
    void deliverPending();
    unsigned lookUpNumLockMask() const;

    _XDisplay* display_;
    unsigned long root_ = 0;
    int xiOpcode_ = -1;
    unsigned numLockMask_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    bool deliveryQueued_ = false;
    int nextListenerId_ = 1;
    std::map<int, KeyListener> keyListeners_;
    std::map<int, RawKeyListener> rawListeners_;
    std::map<int, RootPropertyListener> rootPropertyListeners_;
};

// While alive, BadAccess errors of grab requests on `display` are recorded instead of ending the
// process (Xlib's default handler exits); every other error goes to the handler installed before.
class GrabErrorTrap {
public:
    explicit GrabErrorTrap(_XDisplay* display);
    ~GrabErrorTrap();
    GrabErrorTrap(const GrabErrorTrap&) = delete;
    GrabErrorTrap& operator=(const GrabErrorTrap&) = delete;

    // Waits until the server has answered every request so far; true when a grab was refused
    // since the last call.
    bool syncAndCheckRefused();

    // Xlib's handler type, with the error event left opaque to keep X headers out of this one.
    using Handler = int (*)(_XDisplay*, void*);

private:
    friend struct GrabErrorTrapAccess;
    _XDisplay* display_;
    Handler previous_;
    GrabErrorTrap* outer_;
    bool refused_ = false;
};

} // namespace pierline::x11
