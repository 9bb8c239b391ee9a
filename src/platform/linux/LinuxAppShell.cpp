#include "platform/AppShell.h"

#include <atomic>

namespace pierline {
namespace {

// Keeps the requested presence until the desktop shell (tray icon, windows) takes it over.
class LinuxAppShell : public AppShell {
public:
    void setActivationPolicy(ActivationPolicy policy) override { policy_ = policy; }
    ActivationPolicy activationPolicy() const override { return policy_; }
    void setStatusItemVisible(bool visible) override { statusItemVisible_ = visible; }
    bool isStatusItemVisible() const override { return statusItemVisible_; }
    void refreshMenuBarIcon() override {}

private:
    std::atomic<ActivationPolicy> policy_{ActivationPolicy::Regular};
    std::atomic<bool> statusItemVisible_{false};
};

std::atomic<AppShell*> g_shell{nullptr};

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

} // namespace pierline
