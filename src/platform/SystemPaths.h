#pragma once

#include <QString>
#include <QStringList>

namespace pierline {

// The fixed locations of the emulated macOS environment. Everything lives under PIERLINE_HOME
// (default ${XDG_DATA_HOME:-$HOME/.local/share}/pierline/home); the emulated tools live in the
// program's libexec folder.
struct SystemPaths {
    static QString home();
    static bool homeIsExplicit();              // PIERLINE_HOME names the home
    static QString preferencesFolder();        // Library/Preferences
    static QString applicationSupportFolder(); // Library/Application Support/Pierline
    static QString logsFolder();               // Library/Logs
    static QString applicationsFolder();       // stands for /Applications
    static QString runningAppLockFile();       // the home's one running app holds it; names its socket
    static QString temporaryDirectory();       // $TMPDIR, else $XDG_RUNTIME_DIR, else the home's tmp
    static QString customSpacesFolder();       // CustomSpaces in applicationSupportFolder()
    static QString preferencesFile(const QString& domain);

    static QString toolsDirectory();                    // emulated defaults, dockutil, killall, ...
    static QString toolPath(const QString& name);       // e.g. "defaults" for /usr/bin/defaults
    static QString shellPath();                         // /bin/zsh
    static QString compilerPath();                      // $PIERLINE_CXX, else clang++, else g++ on PATH
    static QString killPath();                          // /bin/kill
    static QStringList dockutilFixedPaths();            // /opt/homebrew/bin and /usr/local/bin
    static QString applicationBundle();                 // the running app's own bundle
    static QString bundleResource(const QString& name); // a resource inside our bundle

    // ProductVersion of System/Library/CoreServices/SystemVersion.plist in the home ("15.5"); empty
    // when the file is absent or unreadable.
    static QString systemVersion();
    static int systemMajorVersion(); // 0 when systemVersion() gives none
    // A path the user typed: a leading "~" (alone or before "/") stands for the home.
    static QString expandingTilde(const QString& path);

    static QString ownBundleIdentifier(); // com.corvane.pierline
    static QString userName();            // the login name from the user database
};

} // namespace pierline
