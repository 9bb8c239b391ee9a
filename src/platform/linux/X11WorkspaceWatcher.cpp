#include "platform/ContextWatchers.h"
#include "platform/DesktopKeybindings.h"
#include "platform/linux/X11Backend.h"
#include "platform/linux/X11EventSource.h"

#include <QByteArray>
#include <QList>

// Xlib's macros clash with Qt's headers: X headers come last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace pierline {
namespace {

// The window manager's current desktop and desktop names, from the root window's EWMH
// properties; every change arrives as a PropertyNotify on the one X connection.
class X11WorkspaceWatcher : public WorkspaceWatcher {
public:
    ~X11WorkspaceWatcher() override {
        if (source_ && listener_)
            source_->removeListener(listener_);
    }

    std::optional<QString> start(std::function<void()> changed) override {
        if (isWaylandSession())
            return QStringLiteral("a Wayland session: workspaces cannot be read from outside the shell");
        QString error;
        source_ = x11::EventSource::instance(&error);
        if (!source_)
            return QStringLiteral("no X server (%1)").arg(error);
        Display* display = source_->display();
        currentAtom_ = XInternAtom(display, "_NET_CURRENT_DESKTOP", False);
        namesAtom_ = XInternAtom(display, "_NET_DESKTOP_NAMES", False);
        utf8Atom_ = XInternAtom(display, "UTF8_STRING", False);
        changed_ = std::move(changed);
        listener_ = source_->addRootPropertyListener([this](unsigned long atom) {
            if (atom != currentAtom_ && atom != namesAtom_)
                return;
            if (read())
                changed_();
        });
        read();
        return std::nullopt;
    }

    std::optional<Workspace> current() const override { return current_; }

private:
    // True when what the properties say changed.
    bool read() {
        Display* display = source_->display();
        std::optional<Workspace> now;
        if (const auto index = readCardinal(display)) {
            const QList<QByteArray> names = readNames(display);
            now = Workspace{*index, *index < names.size() ? QString::fromUtf8(names[*index]) : QString()};
        }
        // The round trips may have queued events the socket will not signal again.
        source_->deliverQueuedSoon();
        const bool differs = now.has_value() != current_.has_value() ||
                             (now && (now->index != current_->index || now->name != current_->name));
        current_ = now;
        return differs;
    }

    std::optional<int> readCardinal(Display* display) const {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::optional<int> value;
        if (XGetWindowProperty(display, source_->rootWindow(), currentAtom_, 0, 1, False, XA_CARDINAL, &type, &format,
                               &count, &after, &data) == Success &&
            type == XA_CARDINAL && format == 32 && count == 1) {
            // Format-32 data comes as longs whatever the word size.
            const long raw = *reinterpret_cast<long*>(data);
            if (raw >= 0 && raw < (1L << 30))
                value = static_cast<int>(raw);
        }
        if (data)
            XFree(data);
        return value;
    }

    QList<QByteArray> readNames(Display* display) const {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        QList<QByteArray> names;
        if (XGetWindowProperty(display, source_->rootWindow(), namesAtom_, 0, 64 * 1024, False, utf8Atom_, &type,
                               &format, &count, &after, &data) == Success &&
            type == utf8Atom_ && format == 8) {
            // Names are NUL-terminated one after the other; the last may lack its NUL.
            names = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count)).split('\0');
            if (!names.isEmpty() && names.last().isEmpty())
                names.removeLast();
        }
        if (data)
            XFree(data);
        return names;
    }

    x11::EventSource* source_ = nullptr;
    int listener_ = 0;
    unsigned long currentAtom_ = 0;
    unsigned long namesAtom_ = 0;
    unsigned long utf8Atom_ = 0;
    std::function<void()> changed_;
    std::optional<Workspace> current_;
};

} // namespace

std::unique_ptr<WorkspaceWatcher> x11::createWorkspaceWatcher() {
    return std::make_unique<X11WorkspaceWatcher>();
}

} // namespace pierline
