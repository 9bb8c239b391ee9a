#pragma once

#include <QString>

namespace pierline {

// A warning about a lasting condition of the machine (say, no session bus) is printed once for a
// home rather than at every start: the home remembers the line it last printed under `topic`.
// The structured log still gets the line every time.

// Prints `line` as a warning unless it is the line last printed for `topic`, and remembers it.
// Returns whether it was printed.
bool warnOnceFor(const QString& topic, const QString& line);

// The condition is gone: the next warning for `topic` is printed again.
void forgetWarningFor(const QString& topic);

} // namespace pierline
