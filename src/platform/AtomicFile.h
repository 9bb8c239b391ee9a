#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <optional>

namespace pierline {

// Replaces the file at `path` with `bytes`, or leaves it as it was. The bytes go to a fresh file
// beside it, are all written and synced, and only then is that file renamed over `path` (and the
// folder synced). A link at `path` is followed, so the file it names is replaced.
// `permissions` are those of the new file; nullopt keeps the replaced file's, and a new file
// gets 0666 less the umask. Returns nullopt on success, else "Could not write PATH: reason",
// with no temporary file left behind.
std::optional<QString> replaceFileAtomically(const QString& path, const QByteArray& bytes,
                                             std::optional<QFileDevice::Permissions> permissions = std::nullopt);

} // namespace pierline
