#pragma once

#include "Workspace.h"

#include <memory>

namespace pierline {

// The application's presence: its activation policy (Dock icon or not) and its menu-bar status
// item. Called on the main thread.
class AppShell {
public:
    virtual ~AppShell() = default;

    static AppShell& shared();
    static void setShared(AppShell* shell); // nullptr restores the system shell

    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    virtual ActivationPolicy activationPolicy() const = 0;
    virtual void setStatusItemVisible(bool visible) = 0;
    virtual bool isStatusItemVisible() const = 0;
    // Redraws the status item's icon from the current settings.
    virtual void refreshMenuBarIcon() = 0;
};

std::unique_ptr<AppShell> createSystemAppShell();

} // namespace pierline
