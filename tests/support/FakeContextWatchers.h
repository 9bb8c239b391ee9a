#pragma once

#include "platform/ContextWatchers.h"

namespace pierline::test {

// A watcher whose source the test sets; set() reports the change as the platform's would.
template <typename Port, typename Value> class FakeWatcher : public Port {
public:
    std::optional<QString> start(std::function<void()> changed) override {
        ++starts;
        if (!problem)
            changed_ = std::move(changed);
        return problem;
    }
    std::optional<Value> current() const override { return value; }

    void set(std::optional<Value> now) {
        value = std::move(now);
        if (changed_)
            changed_();
    }

    std::optional<QString> problem; // set before start: the source is missing
    std::optional<Value> value;
    int starts = 0;

private:
    std::function<void()> changed_;
};

using FakeWorkspaceWatcher = FakeWatcher<WorkspaceWatcher, WorkspaceWatcher::Workspace>;
using FakeDoNotDisturbWatcher = FakeWatcher<DoNotDisturbWatcher, bool>;
using FakeDisplaySetWatcher = FakeWatcher<DisplaySetWatcher, QStringList>;
using FakeNetworkWatcher = FakeWatcher<NetworkWatcher, QStringList>;

} // namespace pierline::test
