#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {

// Where named icons are looked up, as the desktop looks them up.
struct IconThemeSearch {
    QString theme;             // the user's icon theme
    QStringList iconFolders;   // folders holding themes, most important first
    QStringList pixmapFolders; // plain icon folders, searched after every theme
};

// The desktop's icon theme (hicolor when the setting cannot be read) under $XDG_DATA_HOME/icons
// and each $XDG_DATA_DIRS/icons, then /usr/share/pixmaps.
IconThemeSearch systemIconThemeSearch();

// The image file that stands for the icon `name`: the user's theme, the themes it inherits, then
// hicolor, then the pixmap folders. In the first that has the icon, the largest PNG wins, else an
// SVG, else an XPM. nullopt when none has it.
std::optional<QString> findThemeIcon(const QString& name, const IconThemeSearch& search);

} // namespace pierline
