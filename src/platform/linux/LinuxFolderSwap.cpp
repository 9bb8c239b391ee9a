#include "platform/FolderSwap.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace pierline {
namespace {

std::optional<MoveFailure> rename2(const QString& from, const QString& to, unsigned flags) {
    if (::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD, QFile::encodeName(to).constData(),
                    flags) == 0)
        return std::nullopt;
    const int error = errno;
    return MoveFailure{
        error == EEXIST,
        QStringLiteral("Could not move %1 to %2: %3").arg(from, to, QString::fromLocal8Bit(std::strerror(error)))};
}

} // namespace

std::optional<MoveFailure> moveWithoutReplacing(const QString& from, const QString& to) {
    return rename2(from, to, RENAME_NOREPLACE);
}

std::optional<MoveFailure> exchangePaths(const QString& a, const QString& b) {
    return rename2(a, b, RENAME_EXCHANGE);
}

} // namespace pierline
