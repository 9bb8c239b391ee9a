#include "platform/linux/X11EventSource.h"

#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <vector>

// Xlib's macros (None, Bool, KeyPress, ...) clash with Qt's headers: X headers come last.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

namespace pierline::x11 {

EventSource* EventSource::instance(QString* error) {
    // Lives for the whole process, like the connection it holds.
    static EventSource* source = nullptr;
    if (source)
        return source;
    auto fail = [&](const QString& why) -> EventSource* {
        if (error)
            *error = why;
        return nullptr;
    };
    if (!QCoreApplication::instance() || !isMainThread())
        return fail(QStringLiteral("X events need the Qt application's main thread"));
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return fail(QStringLiteral("cannot open the X display \"%1\"").arg(qEnvironmentVariable("DISPLAY")));
    source = new EventSource(display);
    return source;
}

EventSource::EventSource(Display* display) : display_(display) {
    root_ = DefaultRootWindow(display_);

    // Held keys then repeat as presses only, with no made-up release in between.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display_, True, &supported);

    // Raw events reach the root window whoever grabs the keyboard from XInput 2.1 on; master
    // devices only, so a key pressed on a physical keyboard is not seen twice (slave and master).
    int opcode = 0, firstEvent = 0, firstError = 0;
    if (XQueryExtension(display_, "XInputExtension", &opcode, &firstEvent, &firstError)) {
        int major = 2, minor = 2;
        if (XIQueryVersion(display_, &major, &minor) == Success && (major > 2 || (major == 2 && minor >= 1))) {
            unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
            XISetMask(bits, XI_RawKeyPress);
            XISetMask(bits, XI_RawKeyRelease);
            XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
            if (XISelectEvents(display_, root_, &mask, 1) == Success)
                xiOpcode_ = opcode;
        }
    }
    numLockMask_ = lookUpNumLockMask();

    notifier_ = new QSocketNotifier(ConnectionNumber(display_), QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { deliverPending(); });
    XFlush(display_);
    deliverQueuedSoon();
}

unsigned EventSource::lookUpNumLockMask() const {
    const KeyCode numLock = XKeysymToKeycode(display_, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (!map)
        return 0;
    unsigned mask = 0;
    for (int modifier = 0; modifier < 8 && numLock != 0 && mask == 0; ++modifier)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[modifier * map->max_keypermod + k] == numLock)
                mask = 1u << modifier;
    XFreeModifiermap(map);
    return mask;
}

int EventSource::addKeyListener(KeyListener listener) {
    const int id = nextListenerId_++;
    keyListeners_.emplace(id, std::move(listener));
    return id;
}

int EventSource::addRawKeyListener(RawKeyListener listener) {
    const int id = nextListenerId_++;
    rawListeners_.emplace(id, std::move(listener));
    return id;
}

int EventSource::addRootPropertyListener(RootPropertyListener listener) {
    if (rootPropertyListeners_.empty()) {
        XSelectInput(display_, root_, PropertyChangeMask);
        XFlush(display_);
    }
    const int id = nextListenerId_++;
    rootPropertyListeners_.emplace(id, std::move(listener));
    return id;
}

void EventSource::removeListener(int id) {
    keyListeners_.erase(id);
    rawListeners_.erase(id);
    rootPropertyListeners_.erase(id);
}

void EventSource::deliverQueuedSoon() {
    if (deliveryQueued_)
        return;
    deliveryQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            deliveryQueued_ = false;
            deliverPending();
        },
        Qt::QueuedConnection);
}

namespace {

// Listeners may add or remove listeners (theirs or others') while being called.
template <typename Map, typename Call> void callEach(Map& listeners, Call call) {
    std::vector<int> ids;
    for (const auto& entry : listeners)
        ids.push_back(entry.first);
    for (int id : ids) {
        auto it = listeners.find(id);
        if (it == listeners.end())
            continue;
        auto listener = it->second;
        call(listener);
    }
}

} // namespace

void EventSource::deliverPending() {
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == KeyPress || event.type == KeyRelease) {
            KeyEvent key;
            key.press = event.type == KeyPress;
            key.keycode = event.xkey.keycode;
            key.state = event.xkey.state;
            key.time = event.xkey.time;
            // Servers without detectable auto-repeat send release+press pairs with one timestamp.
            if (!key.press && XEventsQueued(display_, QueuedAfterReading) > 0) {
                XEvent next;
                XPeekEvent(display_, &next);
                key.repeatFollows = next.type == KeyPress && next.xkey.keycode == event.xkey.keycode &&
                                    next.xkey.time == event.xkey.time;
            }
            callEach(keyListeners_, [&](const KeyListener& listener) { listener(key); });
        } else if (event.type == PropertyNotify && event.xproperty.window == root_) {
            const unsigned long atom = event.xproperty.atom;
            callEach(rootPropertyListeners_, [&](const RootPropertyListener& listener) { listener(atom); });
        } else if (event.type == GenericEvent && event.xcookie.extension == xiOpcode_ &&
                   XGetEventData(display_, &event.xcookie)) {
            const int type = event.xcookie.evtype;
            if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
                const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
                const bool press = type == XI_RawKeyPress;
                const auto keycode = static_cast<unsigned>(raw->detail);
                callEach(rawListeners_, [&](const RawKeyListener& listener) { listener(press, keycode); });
            }
            XFreeEventData(display_, &event.xcookie);
        }
    }
}

// --- GrabErrorTrap

struct GrabErrorTrapAccess {
    static GrabErrorTrap* active;

    static int handle(Display* display, XErrorEvent* error) {
        for (GrabErrorTrap* trap = active; trap; trap = trap->outer_) {
            if (trap->display_ != display)
                continue;
            if (error->error_code == BadAccess && error->request_code == X_GrabKey) {
                trap->refused_ = true;
                return 0;
            }
            break;
        }
        // Nested traps chain to each other: the handler from before the outermost one decides.
        GrabErrorTrap* outermost = active;
        while (outermost && outermost->outer_)
            outermost = outermost->outer_;
        auto previous = reinterpret_cast<XErrorHandler>(outermost ? outermost->previous_ : nullptr);
        return previous ? previous(display, error) : 0;
    }
};

GrabErrorTrap* GrabErrorTrapAccess::active = nullptr;

GrabErrorTrap::GrabErrorTrap(Display* display) : display_(display), outer_(GrabErrorTrapAccess::active) {
    // Errors of requests made before the trap belong to whoever made them.
    XSync(display_, False);
    previous_ = reinterpret_cast<Handler>(XSetErrorHandler(&GrabErrorTrapAccess::handle));
    GrabErrorTrapAccess::active = this;
}

GrabErrorTrap::~GrabErrorTrap() {
    XSync(display_, False);
    GrabErrorTrapAccess::active = outer_;
    XSetErrorHandler(reinterpret_cast<XErrorHandler>(previous_));
}

bool GrabErrorTrap::syncAndCheckRefused() {
    XSync(display_, False);
    const bool refused = refused_;
    refused_ = false;
    return refused;
}

} // namespace pierline::x11
