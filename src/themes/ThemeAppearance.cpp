#include "ThemeAppearance.h"

#include "platform/UserDefaults.h"
#include "targets/DockTarget.h"

namespace pierline {

QString appearanceName(Appearance appearance) {
    return appearance == Appearance::Dark ? QStringLiteral("dark") : QStringLiteral("light");
}

Appearance systemAppearance(const QString& dockTargetId, const PrefersDarkColors& desktopPrefersDark) {
    const UserDefaults global(QStringLiteral(".GlobalPreferences"));
    if (global.string(QStringLiteral("AppleInterfaceStyle")) == QStringLiteral("Dark"))
        return Appearance::Dark;
    if (dockTargetId != QLatin1String("sandbox") && desktopPrefersDark && desktopPrefersDark())
        return Appearance::Dark;
    return Appearance::Light;
}

Appearance currentAppearance() {
    return systemAppearance(chooseDockTarget().id, systemPrefersDarkColors());
}

const ThemeColors& colorsFor(const ThemeDefinition& theme, Appearance appearance) {
    return appearance == Appearance::Dark ? theme.darkMode : theme.lightMode;
}

} // namespace pierline
