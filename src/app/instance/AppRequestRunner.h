#pragma once

#include "Messages.h"

namespace pierline {

// Runs a caller's command inside the app, on the main thread, as it would have run in the
// caller's process: same working folder, same answer on stdout, same messages on stderr (the
// warnings of the plain log included, and its progress lines when the caller asked for -v).
CommandReply runRequestInApp(const CommandRequest& request);

} // namespace pierline
