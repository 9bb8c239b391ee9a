#pragma once

#include <functional>

namespace pierline {

// Runs `handler` on the main thread when the process is asked to end (SIGTERM, SIGINT), so the
// running app can save and remove its socket instead of dying mid-write. Call once, on the main
// thread, with the event loop about to run.
void onTerminationRequest(std::function<void()> handler);

} // namespace pierline
