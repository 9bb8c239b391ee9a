#pragma once

#include "Messages.h"

#include <QString>
#include <optional>
#include <variant>

namespace pierline {

// The caller's end: hands one command to the app listening at `socketPath`.
class InstanceClient {
public:
    // Whether an app answers at `socketPath` (a stale socket file does not).
    static bool appIsListening(const QString& socketPath);

    // The app's reply, or the message that tells the user why there is none: the app went away
    // during the request, or did not answer within `answerLimitMs`.
    static std::variant<CommandReply, QString> send(const QString& socketPath, const CommandRequest& request,
                                                    int answerLimitMs);
};

} // namespace pierline
