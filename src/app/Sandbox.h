#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace pierline {

// One sample application of the sandbox.
struct SandboxApp {
    QString name;       // bundle "Name.app", executable "Name"
    QString identifier; // CFBundleIdentifier
    bool agent = false; // LSUIElement
    QString startUrl;   // a web app made by Safari: its Manifest's start_url
};

// What a sandbox build did, or why it did not.
struct SandboxReport {
    bool ok = false;
    QString error;
    QString root;
    QStringList apps;       // bundle paths
    int dockApps = 0;       // tiles in persistent-apps
    int dockOthers = 0;     // tiles in persistent-others
    QString dockutilLink;   // <root>/usr/local/bin/dockutil
    QString dockutilTarget; // the emulated tool it points at
    bool dockutilTargetExists = false;
};

// The sample environment of the emulated macOS: app bundles, folders, a document, and a Dock
// domain that uses apps, both spacer kinds, folder stacks, a file and a web link.
class Sandbox {
public:
    static const QList<SandboxApp>& sampleApps();
    // A web app in Applications that is not on the Dock, for backups to describe.
    static SandboxApp sampleWebApp();

    // Builds the environment into `root` (made absolute). A folder that is not empty is refused
    // unless `force`, which clears it first; "/" and the user's home folder are never cleared.
    static SandboxReport init(const QString& root, bool force);
};

} // namespace pierline
