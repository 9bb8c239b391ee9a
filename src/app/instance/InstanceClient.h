#pragma once

#include "Frame.h"
#include "Messages.h"

#include <QString>
#include <functional>
#include <variant>

namespace pierline {

// The caller's end: hands one command to the app listening at `socketPath`.
class InstanceClient {
public:
    // The app went away, or closed the connection, before it began the request: it never ran.
    struct NotStarted {};
    // The app's reply, NotStarted, or the message that tells the user why there is none.
    using Answer = std::variant<CommandReply, NotStarted, QString>;

    // Whether an app answers at `socketPath` (a stale socket file does not).
    static bool appIsListening(const QString& socketPath);

    // Waits as long as the app keeps giving signs of life (it sends them while the request waits
    // or runs); gives up after `silenceLimitSeconds` without one. `onFrame` sees each frame that
    // is not the reply.
    static Answer send(const QString& socketPath, const CommandRequest& request, double silenceLimitSeconds,
                       const std::function<void(FrameKind)>& onFrame = {});
};

} // namespace pierline
