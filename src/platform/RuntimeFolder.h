#pragma once

#include <QString>
#include <optional>

namespace pierline {

// The folder the session keeps for this user's sockets and other runtime files while the user is
// logged in; nullopt when the session names none.
std::optional<QString> userRuntimeFolder();

} // namespace pierline
