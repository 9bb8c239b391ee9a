#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/AtomicFile.h"
#include "targets/DockTarget.h"
#include "themes/IconExtractionService.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("icons NAME [--out ZIP]");

// Moves the archive over `target`, replacing a file there; across file systems its bytes are
// written there first. The archive is gone afterwards either way. Why not, when it failed.
std::optional<QString> moveArchive(const QString& archive, const QString& target) {
    if (std::rename(QFile::encodeName(archive).constData(), QFile::encodeName(target).constData()) == 0)
        return std::nullopt;
    const int error = errno;
    std::optional<QString> problem;
    if (error == EXDEV) {
        QFile file(archive);
        problem = file.open(QIODevice::ReadOnly)
                      ? replaceFileAtomically(target, file.readAll(), QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                      : QStringLiteral("Could not read %1: %2").arg(archive, file.errorString());
    } else {
        problem = QString::fromLocal8Bit(std::strerror(error));
    }
    if (!QFile::remove(archive) && QFile::exists(archive))
        err(QStringLiteral("Could not remove %1").arg(archive));
    return problem;
}

} // namespace

int runIconsCommand(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Packs the icons of the apps of the preset NAME into a ZIP, one PNG named after each app, and "
                       "prints the archive's path. Apps missing on disk are left out."));
    parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The preset."));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("Move the archive to ZIP, replacing a file there."),
                                       QStringLiteral("ZIP"));
    parser.addOption(outOption);
    if (auto exit = parse(parser, QStringLiteral("icons"), kUsage, args))
        return *exit;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(positional.isEmpty() ? QStringLiteral("Missing NAME")
                                               : QStringLiteral("Unexpected argument: %1").arg(positional.at(1)),
                          kUsage);
    QString target;
    if (parser.isSet(outOption)) {
        if (parser.value(outOption).isEmpty())
            return usageError(QStringLiteral("--out needs a file name"), kUsage);
        target = QFileInfo(parser.value(outOption)).absoluteFilePath();
        if (QFileInfo(target).isDir()) {
            err(QStringLiteral("Cannot write the archive to %1: it is a folder").arg(target));
            return kExitFailed;
        }
    }
    if (!requireHome())
        return kExitFailed;
    const PresetLookup lookup = openPreset(positional.first());
    if (!lookup.preset)
        return kExitFailed;

    const bool desktopFiles = currentDockTarget()->appKind() == DockAppKind::DesktopFile;
    QString archive;
    try {
        archive = IconExtractionService(desktopFiles).extractIcons(lookup.preset->apps());
    } catch (const IconExtractionError& error) {
        err(error.description());
        return kExitFailed;
    }
    if (!target.isEmpty()) {
        if (const auto problem = moveArchive(archive, target)) {
            err(QStringLiteral("Cannot write the archive to %1: %2").arg(target, *problem));
            return kExitFailed;
        }
        archive = target;
    }
    out(archive);
    return kExitOk;
}

} // namespace pierline::cli
