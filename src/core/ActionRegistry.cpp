#include "ActionRegistry.h"

#include "BrowserProfileLauncherLite.h"
#include "platform/Url.h"

namespace pierline {

ActionRegistry& ActionRegistry::shared() {
    static ActionRegistry instance;
    return instance;
}

std::unique_ptr<AppAction> ActionRegistry::createDefaultAction(const QString& actionType) const {
    if (actionType == OpenAppAction::actionType)
        return std::make_unique<OpenAppAction>();
    if (actionType == OpenInIDEAction::actionType)
        return std::make_unique<OpenInIDEAction>(QString());
    if (actionType == OpenBrowserProfileAction::actionType)
        return std::make_unique<OpenBrowserProfileAction>(QStringLiteral("Default"), QStringLiteral("Default"), true);
    return nullptr;
}

bool ActionRegistry::isKnownIDE(const QString& appName) {
    static const QStringList names = {
        QStringLiteral("Visual Studio Code"),
        QStringLiteral("Code"),
        QStringLiteral("Cursor"),
        QStringLiteral("Windsurf"),
        QStringLiteral("Zed"),
        QStringLiteral("Xcode"),
        QStringLiteral("IntelliJ IDEA"),
        QStringLiteral("PyCharm"),
        QStringLiteral("WebStorm"),
        QStringLiteral("GoLand"),
        QStringLiteral("CLion"),
        QStringLiteral("Rider"),
        QStringLiteral("Android Studio"),
        QStringLiteral("Sublime Text"),
        QStringLiteral("Nova"),
        QStringLiteral("BBEdit"),
        QStringLiteral("Fleet"),
        QStringLiteral("RustRover"),
    };
    for (const QString& name : names)
        if (appName == name || appName.startsWith(name + QLatin1Char(' ')))
            return true;
    return false;
}

QStringList ActionRegistry::getAvailableActions(const QString& appURL) const {
    QStringList types{OpenAppAction::actionType};
    const QString path = filePathOfLocation(appURL).value_or(appURL);
    QString name = lastPathComponent(path);
    if (name.endsWith(QLatin1String(".app")))
        name.chop(4);
    if (isKnownIDE(name))
        types.append(OpenInIDEAction::actionType);
    if (BrowserProfileLauncherLite::browserType(path) != BrowserType::Unsupported)
        types.append(OpenBrowserProfileAction::actionType);
    return types;
}

} // namespace pierline
