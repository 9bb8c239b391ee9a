#include "platform/ColorScheme.h"
#include "platform/Log.h"
#include "platform/linux/GSettings.h"

namespace pierline {

PrefersDarkColors systemPrefersDarkColors() {
    return [] {
        const GSettingsKey key{QStringLiteral("org.gnome.desktop.interface"),
                               QStringLiteral("color-scheme"),
                               {},
                               QStringLiteral("gsettings-desktop-schemas")};
        const Logger log(QStringLiteral("ColorScheme"));
        if (const auto problem = gsettingsProblem(key)) {
            log.info(QStringLiteral("The desktop's colour scheme cannot be read, using light: %1").arg(*problem));
            return false;
        }
        try {
            return readGSettingsString(key) == QLatin1String("prefer-dark");
        } catch (const GSettingsError& error) {
            log.error(QStringLiteral("The desktop's colour scheme cannot be read, using light: %1")
                          .arg(QString::fromUtf8(error.what())));
            return false;
        }
    };
}

} // namespace pierline
