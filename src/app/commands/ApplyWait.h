#pragma once

#include "apply/DockManager.h"

#include <QFuture>
#include <QString>
#include <functional>

namespace pierline::cli {

// The exit code of a finished apply: 0 when the Dock shows the preset (or already did).
int applyExitCode(const ApplyHandle& handle);
// The outcomes whose own warning line does not already say what went wrong.
bool applyNeedsFailureLine(const ApplyHandle& handle);

// Waits for an apply started elsewhere and for its side effects, keeping this thread's event loop
// running for the store hops they make. Prints the failure line an apply prints and returns
// applyExitCode. `target` names the preset in that line ("'Work'").
int waitForApply(const QFuture<ApplyHandle>& apply, const QString& target);
// The same for an apply that `start` makes on a background queue.
int waitForApply(const std::function<ApplyHandle()>& start, const QString& target);

} // namespace pierline::cli
