#pragma once

#include <QString>
#include <optional>
#include <variant>

namespace pierline {

// Where the running app listens: a fresh folder of its own, private to the user, with the
// local socket in it. The app records the socket's path in its home, so every caller of that
// home finds it whatever its environment.
struct InstanceAddress {
    QString folder;     // 0700, made for this app alone
    QString socketPath; // the local socket (0600)
};

// The app makes its own folder under: $XDG_RUNTIME_DIR when set, refused when another
// user owns it or others may enter it; else $TMPDIR or the system's temporary folder, refused
// when others may replace what is in it (writable by others without the sticky bit).
// Why no app could listen now (nullopt: one could).
std::optional<QString> instanceBaseProblem();
// Makes a fresh, randomly named folder under that folder for the app's socket.
std::variant<InstanceAddress, QString> makeInstanceAddress();
// Removes the socket and the folder an app made (a crashed one leaves them): only a folder of
// ours named as makeInstanceAddress() names them.
void removeInstanceAddress(const QString& socketPath);
// Why a caller must not talk to the socket recorded at `socketPath`: its folder is not a folder
// of this user closed to others. nullopt when it may.
std::optional<QString> socketFolderProblem(const QString& socketPath);

// The user id of this process and of the peer of a connected local socket.
unsigned currentUserId();
std::optional<unsigned> peerUserId(qintptr socketDescriptor);

} // namespace pierline
