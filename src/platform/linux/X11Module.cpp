#include "platform/TaskbarPresence.h"
#include "platform/linux/X11Backend.h"

#include "platform/Log.h"
#include "platform/linux/Module.h"

namespace pierline {
namespace x11 {
namespace {

const LoadedModule& loaded() {
    static const LoadedModule once = loadModule(kModuleFileName, kBackendEntry, kBackendVersion, QStringLiteral("X11"));
    return once;
}

// Without the module the factories answer as the backends do with no display.
class UnavailableHotkeyRegistrar : public HotkeyRegistrar {
public:
    std::optional<Reference> registerHotkey(quint32 carbonKeyCode, quint32 carbonModifiers, HotkeyId) override {
        Logger(QStringLiteral("Hotkeys"))
            .info(QStringLiteral("Hotkey (key code %1, modifiers 0x%2) not registered: %3")
                      .arg(carbonKeyCode)
                      .arg(carbonModifiers, 0, 16)
                      .arg(unavailableReason()));
        return std::nullopt;
    }
    void unregisterHotkey(Reference) override {}
    void setEventHandler(EventHandler) override {}
};

class UnavailableModifierMonitor : public ModifierMonitor {
public:
    Token addFlagsChangedHandler(Handler) override {
        Logger(QStringLiteral("Hotkeys"))
            .info(QStringLiteral("Modifier keys not watched: %1").arg(unavailableReason()));
        return 0;
    }
    void removeHandler(Token) override {}
};

class UnavailableKeyboardRecorder : public KeyboardRecorder {
public:
    bool start(Handler, QString& error) override {
        error = unavailableReason();
        return false;
    }
    void stop() override {}
};

class UnavailableWorkspaceWatcher : public WorkspaceWatcher {
public:
    std::optional<QString> start(std::function<void()>) override {
        return QStringLiteral("no X server (%1)").arg(unavailableReason());
    }
    std::optional<Workspace> current() const override { return std::nullopt; }
};

} // namespace

const Backend* backend() {
    return static_cast<const Backend*>(loaded().table);
}

QString unavailableReason() {
    return loaded().reason;
}

} // namespace x11

std::unique_ptr<HotkeyRegistrar> createHotkeyRegistrar() {
    if (const x11::Backend* x = x11::backend())
        return x->createHotkeyRegistrar();
    return std::make_unique<x11::UnavailableHotkeyRegistrar>();
}

std::unique_ptr<ModifierMonitor> createModifierMonitor() {
    if (const x11::Backend* x = x11::backend())
        return x->createModifierMonitor();
    return std::make_unique<x11::UnavailableModifierMonitor>();
}

std::unique_ptr<KeyboardRecorder> createKeyboardRecorder() {
    if (const x11::Backend* x = x11::backend())
        return x->createKeyboardRecorder();
    return std::make_unique<x11::UnavailableKeyboardRecorder>();
}

std::unique_ptr<WorkspaceWatcher> createWorkspaceWatcher() {
    if (const x11::Backend* x = x11::backend())
        return x->createWorkspaceWatcher();
    return std::make_unique<x11::UnavailableWorkspaceWatcher>();
}

bool setSkipTaskbar(quintptr nativeWindow, bool skip, QString* error) {
    if (const x11::Backend* x = x11::backend())
        return x->setSkipTaskbar(nativeWindow, skip, error);
    if (error)
        *error = x11::unavailableReason();
    return false;
}

} // namespace pierline
