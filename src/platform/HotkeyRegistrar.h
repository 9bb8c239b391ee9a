#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>

namespace pierline {

// Carbon modifier mask bits, the encoding in which combinations are registered.
inline constexpr quint32 kCarbonCmdKey = 0x0100;
inline constexpr quint32 kCarbonShiftKey = 0x0200;
inline constexpr quint32 kCarbonOptionKey = 0x0800;
inline constexpr quint32 kCarbonControlKey = 0x1000;

// The id a combination is registered under and that its events carry back: a four-character
// signature naming the registering component and a number the component chooses.
struct HotkeyId {
    quint32 signature = 0;
    quint32 id = 0;
    friend bool operator==(const HotkeyId&, const HotkeyId&) = default;
};

enum class HotkeyEventKind { Pressed, Released };

// What the event handler did with an event; an unhandled one is passed on to the system.
enum class HotkeyEventResult { Handled, NotHandled };

// System-wide key combinations that fire whatever application is frontmost.
//
// All calls, and every event, happen on the main thread. A refusal is silent to the user: the
// combination may be held by another client, have no key on this keyboard, or there may be no
// display; the backend logs why in the structured log.
class HotkeyRegistrar {
public:
    // Names one successful registration; never 0.
    using Reference = quint64;
    using EventHandler = std::function<HotkeyEventResult(HotkeyId, HotkeyEventKind)>;

    virtual ~HotkeyRegistrar() = default;

    static HotkeyRegistrar& shared();
    static void setShared(HotkeyRegistrar* registrar); // nullptr restores the platform's registrar

    // Grabs `carbonKeyCode` with exactly the modifiers of `carbonModifiers` (kCarbon* bits; other
    // bits are ignored). Events of the combination carry `id`. nullopt is a refusal; a combination
    // this registrar already holds is refused too.
    virtual std::optional<Reference> registerHotkey(quint32 carbonKeyCode, quint32 carbonModifiers, HotkeyId id) = 0;
    // Releases the grab; an unknown reference is ignored.
    virtual void unregisterHotkey(Reference reference) = 0;
    // The one receiver of pressed and released events; replaces any earlier one. A key held down
    // gives one Pressed (auto-repeat is dropped) and one Released when it goes up.
    virtual void setEventHandler(EventHandler handler) = 0;
};

// The platform's registrar (X11 on Linux).
std::unique_ptr<HotkeyRegistrar> createHotkeyRegistrar();

} // namespace pierline
