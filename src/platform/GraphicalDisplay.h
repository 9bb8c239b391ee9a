#pragma once

namespace pierline {

// Whether a window system answers (the app then makes widgets for its alerts and status item).
// Without one the app runs headless.
bool graphicalDisplayReachable();

} // namespace pierline
