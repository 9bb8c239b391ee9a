#pragma once

#include "platform/Clock.h"
#include "platform/ContextWatchers.h"
#include "switching/ContextRules.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

namespace pierline {

// One watcher's state: watching, or why not.
struct ContextWatcherStatus {
    QString source; // "workspace", "dnd", "displays", "network"
    std::optional<QString> problem;
};

// The four watchers that make up the desktop's context.
class ContextWatcherSet {
public:
    std::unique_ptr<WorkspaceWatcher> workspace;
    std::unique_ptr<DoNotDisturbWatcher> doNotDisturb;
    std::unique_ptr<DisplaySetWatcher> displays;
    std::unique_ptr<NetworkWatcher> network;

    // The platform's watchers, with `displays` for the screens.
    static ContextWatcherSet platform(std::unique_ptr<DisplaySetWatcher> displays);

    // Starts each one; a missing source leaves the others working. Main thread.
    void start(const std::function<void()>& changed);
    const QList<ContextWatcherStatus>& statuses() const { return statuses_; }
    DesktopContext context() const;

private:
    QList<ContextWatcherStatus> statuses_;
};

// Switches to the preset of the rule that wins once the context has settled: a burst of changes
// inside the settle time switches once, to where the user stopped. Main thread.
class ContextSwitcher {
public:
    struct Hooks {
        std::function<bool(const QUuid&)> requestSwitch;
        std::function<std::optional<QUuid>()> lastAppliedPresetId;
        std::function<bool(const QUuid&)> presetExists;
    };

    ContextSwitcher(ContextWatcherSet watchers, Hooks hooks);
    ~ContextSwitcher();
    ContextSwitcher(const ContextSwitcher&) = delete;
    ContextSwitcher& operator=(const ContextSwitcher&) = delete;

    // Starts the watchers, says once which cannot watch, and evaluates the rules once so the
    // dock matches the context from the start.
    void start();
    const ContextWatcherSet& watchers() const { return watchers_; }
    // Whether a change is waiting for the settle time to pass.
    bool settling() const { return timer_ != 0; }

    // The running app's switcher, for `rule check`; null outside the app.
    static ContextSwitcher* shared();
    static void setShared(ContextSwitcher* switcher);

private:
    void contextChanged();
    void evaluate();

    ContextWatcherSet watchers_;
    Hooks hooks_;
    TimerId timer_ = 0;
    // The rule that won last (its condition and preset), so only a change of winner switches.
    std::optional<ContextRule> winner_;
    QString reported_; // the last problems reported, so a steady problem is said once
};

} // namespace pierline
