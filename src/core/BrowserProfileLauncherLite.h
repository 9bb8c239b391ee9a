#pragma once

#include <QString>
#include <optional>

namespace pierline {

struct BrowserProfile {
    QString directory;
    QString displayName;
};

enum class BrowserType { Chrome, Edge, Brave, Vivaldi, Arc, Firefox, Safari, Opera, Unsupported };

// Launches a browser with a profile by starting its executable directly, so no scripting or
// automation permission is needed.
class BrowserProfileLauncherLite {
public:
    static BrowserProfileLauncherLite& shared();

    // The family, from the application's file name ("Google Chrome.app", "Arc.app", ...).
    static BrowserType browserType(const QString& appPath);
    static bool isChromiumFamily(BrowserType type);
    // Whether launchBrowser can open this family with a profile.
    static bool supportsProfiles(BrowserType type);

    // Chromium family: "--profile-directory=<profile>"; Firefox: "-P <profile>". The browser is
    // started detached. Returns the failure, or nullopt when the browser was started.
    std::optional<QString> launchBrowser(const QString& appPath, const QString& profileName,
                                         const std::optional<QString>& url = std::nullopt);

private:
    BrowserProfileLauncherLite() = default;
};

} // namespace pierline
