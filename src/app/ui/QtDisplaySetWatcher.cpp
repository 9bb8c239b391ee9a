#include "QtDisplaySetWatcher.h"

#include <QGuiApplication>
#include <QScreen>

namespace pierline {

QtDisplaySetWatcher::~QtDisplaySetWatcher() {
    for (const QMetaObject::Connection& connection : connections_)
        QObject::disconnect(connection);
}

std::optional<QString> QtDisplaySetWatcher::start(std::function<void()> changed) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return QStringLiteral("no window system to ask for the screens");
    changed_ = std::move(changed);
    const auto update = [this] {
        const std::optional<QStringList> before = current_;
        read();
        if (current_ != before)
            changed_();
    };
    // The screen list is up to date when these are emitted.
    connections_ = {QObject::connect(app, &QGuiApplication::screenAdded, app, update),
                    QObject::connect(app, &QGuiApplication::screenRemoved, app, update),
                    QObject::connect(app, &QGuiApplication::primaryScreenChanged, app, update)};
    read();
    return std::nullopt;
}

void QtDisplaySetWatcher::read() {
    QStringList names;
    for (const QScreen* screen : QGuiApplication::screens())
        names.append(screen->name());
    names.sort();
    current_ = names;
}

} // namespace pierline
