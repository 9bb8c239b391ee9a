#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <memory>
#include <optional>

namespace pierline {

// Whether an application shows in the Dock (Regular), only in the menu bar (Accessory) or not at
// all (Prohibited: background-only).
enum class ActivationPolicy { Regular, Accessory, Prohibited };

// One running application: a process whose executable (or script) lies in a bundle's
// Contents/MacOS/ folder.
struct RunningApplication {
    qint64 pid = 0;
    std::optional<QString> bundleIdentifier;
    std::optional<QString> localizedName;
    std::optional<QString> bundlePath; // the .app folder, no trailing "/"
    ActivationPolicy activationPolicy = ActivationPolicy::Regular;

    std::optional<QUrl> bundleURL() const;
};

// Outcome of a request to open something: ok, or the reason it failed.
struct OpenResult {
    bool ok = false;
    QString error;
    std::optional<qint64> pid; // the new process, when one was started
    static OpenResult success(std::optional<qint64> pid = std::nullopt) { return {true, {}, pid}; }
    static OpenResult failure(QString message) { return {false, std::move(message), std::nullopt}; }
};

// Bundles, running applications and launching.
class Workspace {
public:
    virtual ~Workspace() = default;

    static Workspace& shared();
    static void setShared(Workspace* workspace); // nullptr restores the system workspace

    // Contents/Info.plist of a bundle as a dictionary; nullopt when missing or malformed.
    virtual std::optional<QVariantMap> infoPlist(const QString& bundlePath) const = 0;
    virtual std::optional<QString> bundleIdentifier(const QString& bundlePath) const = 0;
    // True when `bundlePath` is a folder with an Info.plist naming an executable that exists.
    virtual bool isApplication(const QString& bundlePath) const = 0;

    // The bundle's icon as PNG bytes: the largest PNG image of the icon file that CFBundleIconFile
    // names in Contents/Resources (".icns" added when the name has none), unchanged; the generic
    // application icon when the bundle has no readable one.
    virtual QByteArray iconData(const QString& bundlePath) const;
    static QByteArray genericApplicationIcon();

    virtual QList<RunningApplication> runningApplications() const = 0;
    QList<RunningApplication> runningApplications(const QString& bundleIdentifier) const;

    // SIGTERM; false at once when the signal cannot be delivered.
    virtual bool terminate(qint64 pid) = 0;
    // SIGKILL; false when the signal cannot be delivered.
    virtual bool forceTerminate(qint64 pid) = 0;
    virtual bool isTerminated(qint64 pid) const = 0;

    // Starts the application, or only brings it forward when it already runs.
    virtual OpenResult openApplication(const QString& bundlePath) = 0;
    // Starts the application with `filePath` as its argument.
    virtual OpenResult openFile(const QString& filePath, const QString& applicationBundlePath) = 0;
    // Starts a new instance with these arguments, running or not (a browser's profile). The
    // executable is `executableName` in Contents/MacOS when given, else the one Info.plist names.
    virtual OpenResult launchApplication(const QString& bundlePath, const QStringList& arguments,
                                         const QString& executableName = {}) = 0;
    // The first application in the applications folder with this identifier.
    virtual std::optional<QString> applicationPath(const QString& bundleIdentifier) const = 0;
    OpenResult openApplicationWithIdentifier(const QString& bundleIdentifier);
};

std::unique_ptr<Workspace> createSystemWorkspace();

// Reads the Info.plist values the workspace needs from a parsed dictionary.
ActivationPolicy activationPolicyFromInfo(const QVariantMap& info);
QString displayNameFromInfo(const QVariantMap& info, const QString& bundlePath);

} // namespace pierline
