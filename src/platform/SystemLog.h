#pragma once

#include "Log.h"

#include <QString>
#include <optional>

namespace pierline {

// The system's own log, where structured lines go when it can be reached (the unified log on
// macOS, the systemd journal on Linux); the file log under the home stands in otherwise.
namespace system_log {

// False when the system log cannot be reached or refused the line.
bool send(const LogRecord& record);
// How a user reads the lines sent there ("journalctl -t pierline"); nullopt when unreachable.
std::optional<QString> readingHint();

} // namespace system_log
} // namespace pierline
