#include "platform/StateAppShell.h"

#include <atomic>

namespace pierline {
namespace {

// Without a window system the presence is the app's state only, until the widget shell takes over.
class LinuxAppShell : public StateAppShell {};

std::atomic<AppShell*> g_shell{nullptr};
std::atomic<StatusItemPresenter*> g_presenter{nullptr};

} // namespace

std::unique_ptr<AppShell> createSystemAppShell() {
    return std::make_unique<LinuxAppShell>();
}

AppShell& AppShell::shared() {
    static const std::unique_ptr<AppShell> system = createSystemAppShell();
    AppShell* injected = g_shell.load();
    return injected ? *injected : *system;
}

void AppShell::setShared(AppShell* shell) {
    g_shell.store(shell);
}

void AppShell::setStatusItemPresenter(StatusItemPresenter* presenter) {
    g_presenter.store(presenter);
}

void AppShell::setStatusItemVisible(bool visible) {
    if (StatusItemPresenter* presenter = g_presenter.load()) {
        visible ? presenter->showStatusItem() : presenter->hideStatusItem();
        return;
    }
    if (visible)
        createStatusItem(QStringLiteral("dock.rectangle"), QStringLiteral("Pierline"));
    else
        removeStatusItem();
}

void AppShell::refreshMenuBarIcon() {
    if (StatusItemPresenter* presenter = g_presenter.load())
        presenter->refreshStatusItemAppearance();
}

void AppShell::setWindowCloseHandler(std::function<void(const QString& name)> handler) {
    closeHandler_ = std::move(handler);
}

void AppShell::windowWillClose(const QString& name) const {
    if (closeHandler_)
        closeHandler_(name);
}

QString shellWindowTitle(const QString& name) {
    if (name == kMainWindowName)
        return QStringLiteral("Pierline");
    if (name == kSettingsWindowName)
        return QStringLiteral("Pierline Settings");
    if (name == kImportWizardWindowName)
        return QStringLiteral("Import Preset");
    return {};
}

} // namespace pierline
