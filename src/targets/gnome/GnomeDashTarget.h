#pragma once

#include "targets/DockTarget.h"
#include "targets/DockTargetError.h"

namespace pierline {

// The GNOME Shell dash (also Dash to Dock and Ubuntu Dock): `org.gnome.shell favorite-apps`
// through GSettings in this process. Apps are desktop files; folders, files and links become
// generated desktop files, since the dash holds apps only.
class GnomeDashTarget final : public DockTarget {
public:
    QString id() const override { return QStringLiteral("gnome"); }
    QString displayName() const override { return QStringLiteral("the GNOME dash"); }
    TargetStatus status() const override;
    std::variant<DockReading, DockReadError> read() const override;
    DockWriteReport write(const QString& presetName, const QStringList& apps, const QList<DockFolderStackValues>& items,
                          const std::function<void()>& finish) override;
    DockAppKind appKind() const override { return DockAppKind::DesktopFile; }
    bool generatesFiles() const override { return true; }
    void removeUnused(const QList<DockFolderStackValues>& itemsInUse) override;

    // The raw favourites list, and writing one (synced before it returns). Errors throw
    // DockTargetError.
    static QStringList favorites();
    static void setFavorites(const QStringList& desktopIds);

    // An app entry for a desktop ID: the file's URL, or where it would be in the user's
    // applications folder when it is missing (so it is written back as it was). An ID that names
    // no file that way (empty, without ".desktop", a path) rides in the entry's fragment.
    static QString appEntryForDesktopId(const QString& desktopId);
    // The desktop ID of an app entry; nullopt for an entry that is not a desktop file.
    static std::optional<QString> desktopIdForAppEntry(const QString& entry);
};

} // namespace pierline
