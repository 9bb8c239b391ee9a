#include "StateAppShell.h"

#include <algorithm>

namespace pierline {

void StateAppShell::setActivationPolicy(ActivationPolicy policy) {
    std::lock_guard lock(mutex_);
    policy_ = policy;
}

ActivationPolicy StateAppShell::activationPolicy() const {
    std::lock_guard lock(mutex_);
    return policy_;
}

void StateAppShell::createStatusItem(const QString& image, const QString& accessibilityDescription) {
    std::lock_guard lock(mutex_);
    if (item_.visible)
        return;
    item_.visible = true;
    item_.image = image;
    item_.tinted = false;
    item_.animation.clear();
    item_.autosaveName.clear();
    accessibilityDescription_ = accessibilityDescription;
    menu_.clear();
}

void StateAppShell::removeStatusItem() {
    std::lock_guard lock(mutex_);
    const QString host = item_.host;
    item_ = StatusItemState{};
    item_.host = host;
    menu_.clear();
}

void StateAppShell::setStatusItemImage(const QString& image, const QString& accessibilityDescription, bool tinted) {
    std::lock_guard lock(mutex_);
    if (!item_.visible)
        return;
    item_.image = image;
    item_.tinted = tinted;
    accessibilityDescription_ = accessibilityDescription;
}

void StateAppShell::setStatusItemMenu(const Menu& menu) {
    std::lock_guard lock(mutex_);
    if (item_.visible)
        menu_ = menu;
}

void StateAppShell::setStatusItemAutosaveName(const QString& name) {
    std::lock_guard lock(mutex_);
    if (item_.visible)
        item_.autosaveName = name;
}

void StateAppShell::setStatusItemAnimation(const QString& key) {
    std::lock_guard lock(mutex_);
    if (item_.visible)
        item_.animation = key;
}

StatusItemState StateAppShell::statusItem() const {
    std::lock_guard lock(mutex_);
    return item_;
}

Menu StateAppShell::statusMenu() const {
    std::lock_guard lock(mutex_);
    return menu_;
}

void StateAppShell::setHost(const QString& host) {
    std::lock_guard lock(mutex_);
    item_.host = host;
}

bool StateAppShell::hasWindow(const QString& name) const {
    std::lock_guard lock(mutex_);
    return std::any_of(windows_.begin(), windows_.end(), [&](const WindowState& w) { return w.name == name; });
}

bool StateAppShell::isWindowVisible(const QString& name) const {
    std::lock_guard lock(mutex_);
    return std::any_of(windows_.begin(), windows_.end(),
                       [&](const WindowState& w) { return w.name == name && w.visible; });
}

void StateAppShell::showWindow(const QString& name, const QString&) {
    std::lock_guard lock(mutex_);
    for (WindowState& window : windows_) {
        if (window.name == name) {
            window.visible = true;
            return;
        }
    }
    windows_.append(WindowState{name, shellWindowTitle(name), true});
}

void StateAppShell::closeWindow(const QString& name) {
    if (isWindowVisible(name))
        windowClosed(name);
}

void StateAppShell::windowClosed(const QString& name) {
    windowWillClose(name);
    std::lock_guard lock(mutex_);
    for (WindowState& window : windows_)
        if (window.name == name)
            window.visible = false;
}

void StateAppShell::dropWindow(const QString& name) {
    std::lock_guard lock(mutex_);
    windows_.removeIf([&](const WindowState& w) { return w.name == name; });
}

QList<WindowState> StateAppShell::windows() const {
    std::lock_guard lock(mutex_);
    return windows_;
}

} // namespace pierline
