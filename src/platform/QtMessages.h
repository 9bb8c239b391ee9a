#pragma once

namespace pierline {

// Qt's own messages (about the environment, its plugins, its internals) are not the user's: from
// now on they go to the structured log, and to stderr only when verbose. Fatal ones still print.
void sendQtMessagesToLog();

} // namespace pierline
