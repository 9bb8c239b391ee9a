#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

namespace pierline {

// Cocoa modifier flags (the device-independent bits of an event's modifier flags).
inline constexpr quint64 kCocoaCapsLockFlag = 0x10000;
inline constexpr quint64 kCocoaShiftFlag = 0x20000;
inline constexpr quint64 kCocoaControlFlag = 0x40000;
inline constexpr quint64 kCocoaOptionFlag = 0x80000;
inline constexpr quint64 kCocoaCommandFlag = 0x100000;
inline constexpr quint64 kCocoaDeviceIndependentFlagsMask = 0xFFFF0000;

// One modifier key went down or up.
struct FlagsChangedEvent {
    // The modifiers held after the change (kCocoa* flags). NumLock never shows; CapsLock shows
    // while its key is held, not while the lock is on, so a tap reads as down then all up.
    quint64 modifierFlags = 0;
    // The Carbon key code of the modifier key that changed: 54 right command, 55 command,
    // 56 shift, 57 caps lock, 58 option, 59 control, 60 right shift, 61 right option, 62 right control.
    quint16 keyCode = 0;
};

// Watches the modifier keys system-wide, our own windows included, so one handler does the work
// of a global and a local event monitor. Events arrive on the main thread, in the order the keys
// moved; a key press that is an auto-repeat of a held modifier is not an event.
class ModifierMonitor {
public:
    using Token = quint64; // names one added handler; never 0
    using Handler = std::function<void(const FlagsChangedEvent&)>;

    virtual ~ModifierMonitor() = default;

    static ModifierMonitor& shared();
    static void setShared(ModifierMonitor* monitor); // nullptr restores the platform's monitor

    // Adds a handler for flags-changed events; 0 when the platform cannot watch (no display).
    virtual Token addFlagsChangedHandler(Handler handler) = 0;
    // An unknown token is ignored. Safe to call from inside a handler.
    virtual void removeHandler(Token token) = 0;
};

// The platform's monitor (X11 on Linux). It shares one event source with the hotkey registrar,
// so a modifier tap is seen once however many parts of the program listen.
std::unique_ptr<ModifierMonitor> createModifierMonitor();

} // namespace pierline
