#include "Workspace.h"

#include "Icns.h"
#include "Url.h"

#include <QDir>
#include <QFile>
#include <atomic>

namespace pierline {
namespace {

std::atomic<Workspace*> g_workspace{nullptr};

// Far above any real icon file; a bigger one is not read into memory.
constexpr qint64 kIconFileLimit = 64 * 1024 * 1024;

bool truthy(const QVariant& value) {
    // Info.plist files hold these flags as booleans, integers or strings ("1", "YES").
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        return text == QLatin1String("1") || text == QLatin1String("yes") || text == QLatin1String("true");
    }
    if (value.canConvert<qint64>())
        return value.toLongLong() != 0;
    return false;
}

} // namespace

std::optional<QUrl> RunningApplication::bundleURL() const {
    if (!bundlePath || bundlePath->isEmpty())
        return std::nullopt;
    return fileUrlFromPath(*bundlePath, true);
}

Workspace& Workspace::shared() {
    static const std::unique_ptr<Workspace> system = createSystemWorkspace();
    Workspace* injected = g_workspace.load();
    return injected ? *injected : *system;
}

void Workspace::setShared(Workspace* workspace) {
    g_workspace.store(workspace);
}

QByteArray Workspace::genericApplicationIcon() {
    QFile resource(QStringLiteral(":/pierline/GenericApplicationIcon.png"));
    if (!resource.open(QIODevice::ReadOnly))
        return {}; // only when the resource was not linked in, which the build prevents
    return resource.readAll();
}

QByteArray Workspace::iconData(const QString& bundlePath) const {
    const auto info = infoPlist(bundlePath);
    QString name = info ? info->value(QStringLiteral("CFBundleIconFile")).toString().trimmed() : QString();
    // A file name inside Resources, never a way out of it.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String("..") || name == QLatin1String("."))
        return genericApplicationIcon();
    const QDir resources(QDir(bundlePath).filePath(QStringLiteral("Contents/Resources")));
    if (!name.endsWith(QLatin1String(".icns")) && !resources.exists(name))
        name += QStringLiteral(".icns");
    QFile file(resources.filePath(name));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kIconFileLimit)
        return genericApplicationIcon();
    return icns::largestPng(file.readAll()).value_or(genericApplicationIcon());
}

QList<RunningApplication> Workspace::runningApplications(const QString& bundleIdentifier) const {
    QList<RunningApplication> matching;
    for (const RunningApplication& app : runningApplications())
        if (app.bundleIdentifier && *app.bundleIdentifier == bundleIdentifier)
            matching.append(app);
    return matching;
}

OpenResult Workspace::openApplicationWithIdentifier(const QString& bundleIdentifier) {
    const std::optional<QString> path = applicationPath(bundleIdentifier);
    if (!path)
        return OpenResult::failure(QStringLiteral("No application with identifier %1").arg(bundleIdentifier));
    return openApplication(*path);
}

ActivationPolicy activationPolicyFromInfo(const QVariantMap& info) {
    if (truthy(info.value(QStringLiteral("LSBackgroundOnly"))))
        return ActivationPolicy::Prohibited;
    if (truthy(info.value(QStringLiteral("LSUIElement"))))
        return ActivationPolicy::Accessory;
    return ActivationPolicy::Regular;
}

QString displayNameFromInfo(const QVariantMap& info, const QString& bundlePath) {
    for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
        const QString name = info.value(QString::fromLatin1(key)).toString().trimmed();
        if (!name.isEmpty())
            return name;
    }
    QString name = lastPathComponent(bundlePath);
    if (name.endsWith(QLatin1String(".app")))
        name.chop(4);
    return name;
}

} // namespace pierline
