#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {

// The `applications` folders that desktop IDs are looked up in, most important first:
// $XDG_DATA_HOME (default ~/.local/share), then each of $XDG_DATA_DIRS (default
// /usr/local/share:/usr/share).
QStringList applicationFolders();
// The XDG data folders themselves: $XDG_DATA_HOME, then each of $XDG_DATA_DIRS.
QStringList dataFolders();
QString userApplicationFolder();
// Whether `path` names a desktop file (by its name; the file need not exist).
bool isDesktopFilePath(const QString& path);

// The file a desktop ID names: `a-b.desktop` is `a-b.desktop` or `a/b.desktop` in a folder.
// The first folder that has it wins.
std::optional<QString> findDesktopFile(const QString& desktopId);
// The ID of a desktop file: its path below an applications folder with "/" as "-", else its name.
QString desktopIdOfPath(const QString& path);

// The [Desktop Entry] group of a desktop file.
class DesktopEntry {
public:
    // nullopt with `error` set when the file cannot be read or has no [Desktop Entry] group.
    static std::optional<DesktopEntry> load(const QString& path, QString* error = nullptr);
    static DesktopEntry parse(const QByteArray& text, bool* hasGroup = nullptr);

    std::optional<QString> value(const QString& key) const; // unescaped
    // The value for the user's locale (LC_ALL, LC_MESSAGES, LANG), else the plain key.
    std::optional<QString> localised(const QString& key) const;

private:
    QMap<QString, QString> values_;
};

// Value escaping of the format: backslash, newline, tab, return, a leading space.
QString escapeDesktopValue(const QString& value);
QString unescapeDesktopValue(const QString& value);
// One argument of an Exec line, quoted when it needs to be (before value escaping).
QString desktopExecArgument(const QString& argument);

} // namespace pierline
