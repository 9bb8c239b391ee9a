#include "platform/Log.h"
#include "platform/ReduceMotion.h"
#include "platform/linux/GSettings.h"

namespace pierline {

ReduceMotion systemReduceMotion() {
    return [] {
        const GSettingsKey key{QStringLiteral("org.gnome.desktop.interface"),
                               QStringLiteral("enable-animations"),
                               {},
                               QStringLiteral("gsettings-desktop-schemas")};
        // No schema or no backend is no request to reduce motion.
        if (gsettingsProblem(key))
            return false;
        try {
            return !readGSettingsBoolean(key);
        } catch (const GSettingsError& error) {
            Logger(QStringLiteral("ReduceMotion")).error(QString::fromUtf8(error.what()));
            return false;
        }
    };
}

} // namespace pierline
