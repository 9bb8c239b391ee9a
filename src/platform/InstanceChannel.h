#pragma once

#include <QString>
#include <optional>
#include <variant>

namespace pierline {

// Where the running app of one home listens, and the lock file that makes it the only one.
struct InstanceAddress {
    QString folder;     // private to the user (0700)
    QString socketPath; // the local socket (0600)
    QString lockPath;   // held by the running app; holds its pid
};

// The address of the app for `home` (the home's real path is hashed into the name, so two homes
// of one user never meet). Under $XDG_RUNTIME_DIR, else in "pierline-<uid>" of the temporary
// folder; that folder is refused when another user owns it or its mode is wider than 0700.
std::variant<InstanceAddress, QString> instanceAddress(const QString& home);

// The user id of this process and of the peer of a connected local socket.
unsigned currentUserId();
std::optional<unsigned> peerUserId(qintptr socketDescriptor);

} // namespace pierline
