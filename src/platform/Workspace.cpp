#include "Workspace.h"

#include "Url.h"

#include <atomic>

namespace pierline {
namespace {

std::atomic<Workspace*> g_workspace{nullptr};

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
