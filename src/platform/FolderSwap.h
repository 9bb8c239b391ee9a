#pragma once

#include <QString>
#include <optional>

namespace pierline {

// Moves of whole trees that either happen completely or not at all, so a bundle is never seen
// half built.
struct MoveFailure {
    bool targetExists = false; // the no-replace move found something at the target
    QString message;           // "Could not move A to B: reason"
};

// Renames `from` to `to` unless something is at `to` (checked by the same call, no race).
std::optional<MoveFailure> moveWithoutReplacing(const QString& from, const QString& to);
// Swaps the two paths in one step; both must exist.
std::optional<MoveFailure> exchangePaths(const QString& a, const QString& b);

} // namespace pierline
