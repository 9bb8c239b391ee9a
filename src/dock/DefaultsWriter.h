#pragma once

#include "DockWriteReport.h"
#include "core/DockFolderStack.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>

namespace pierline {

// Puts a preset onto the Dock without dockutil: builds the Dock's tile dictionaries, writes them
// as two property lists, imports both into com.apple.dock with `defaults` and restarts the Dock.
class DefaultsWriter {
public:
    // The left- and right-hand tile lists of a preset; prints a line per tile and per skip.
    static QVariantList appTiles(const QStringList& apps);
    static QVariantList itemTiles(const QList<DockFolderStackValues>& items);

    // Writes dockApps.plist and dockFolderStacks.plist into `folder`; false, with `error` set, when
    // one of them could not be serialised or written.
    static bool writeFiles(const QString& folder, const QVariantList& appTiles, const QVariantList& itemTiles,
                           QString* error);

    // The commands that follow a successful file write, in order.
    static QStringList commands(const QString& appsFile, const QString& itemsFile);

    // Not written when the property lists could not be written; then no command ran and the Dock
    // is untouched. Otherwise `finishApply` runs after the restart pause and the report counts the
    // two imports.
    static DockWriteReport apply(const QString& presetName, const QStringList& apps,
                                 const QList<DockFolderStackValues>& items, const std::function<void()>& finishApply);

    // A path as one zsh word: unchanged when it holds only safe characters, else single-quoted.
    static QString shellWord(const QString& path);

    static inline const QString kAppsFileName = QStringLiteral("dockApps.plist");
    static inline const QString kItemsFileName = QStringLiteral("dockFolderStacks.plist");
    static constexpr double kRestartPause = 1.0;
};

} // namespace pierline
