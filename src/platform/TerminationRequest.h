#pragma once

#include <functional>

namespace pierline {

// Runs `handler` on the main thread when the process is asked to end (SIGTERM, SIGINT), so the
// running app can save and remove its socket instead of dying mid-write. Call once, on the main
// thread, with the event loop about to run.
void onTerminationRequest(std::function<void()> handler);

// Writing to an output nobody reads any more fails instead of ending the process. A restarted app
// writes to the output of the one it replaced (started afresh, with the default for SIGPIPE), and
// that output's reader may be gone with it. Call first thing in main.
void keepRunningWithoutAReader();

} // namespace pierline
