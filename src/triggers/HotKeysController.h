#pragma once

#include "platform/HotkeyRegistrar.h"

#include <QUuid>
#include <cstddef>
#include <memory>
#include <optional>

namespace pierline {

class HotKey;

// The process-wide registry of hotkeys and the one receiver of the registrar's events. Entries
// are keyed by a numeric id issued from 1 and never reused in a run; an entry refers to its
// HotKey weakly, so the registry never keeps one alive. HotKey calls the first two functions;
// the rest serve inspection. Main thread only.
class HotKeysController {
public:
    // "PLHK": the signature every id of ours carries.
    static constexpr quint32 kSignature = 0x504C484B;

    // Adds an entry and registers the combination with HotkeyRegistrar::shared(). Nothing happens
    // when the hotkey has an entry already. A refused registration keeps its entry, with no
    // reference, until the hotkey is paused or destroyed. Throws std::overflow_error when the
    // ids of this run are used up.
    static void registerHotKey(const std::shared_ptr<HotKey>& hotKey);
    // Unregisters the combination of the hotkey with this identifier and drops its entry.
    static void unregisterHotKey(const QUuid& identifier);

    // Routes one registrar event to the hotkey's handler and runs it synchronously. NotHandled
    // for foreign signatures, unknown ids, released or paused hotkeys and absent handlers.
    static HotkeyEventResult handleEvent(HotkeyId id, HotkeyEventKind kind);

    struct Entry {
        QUuid identifier;
        quint32 carbonHotKeyID = 0;
        std::optional<HotkeyRegistrar::Reference> reference; // absent when the registration was refused
    };
    static std::optional<Entry> entry(const QUuid& identifier);
    static std::size_t entryCount();
    static quint32 lastIssuedId();
};

} // namespace pierline
