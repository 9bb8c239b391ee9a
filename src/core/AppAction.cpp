#include "AppAction.h"

#include <QJsonDocument>

namespace pierline {
namespace {
const QString kTypeKey = QStringLiteral("actionType");
const QString kConfigurationKey = QStringLiteral("configuration");
const QString kProjectPathKey = QStringLiteral("projectPath");
const QString kProfileDirectoryKey = QStringLiteral("profileDirectory");
const QString kProfileNameKey = QStringLiteral("profileName");
const QString kPermissionFreeKey = QStringLiteral("usePermissionFree");
} // namespace

QString ActionExecutionError::description() const {
    switch (kind) {
    case Kind::InvalidConfiguration:
        return QStringLiteral("Invalid action configuration");
    case Kind::AppNotFound:
        return QStringLiteral("Application not found");
    case Kind::ExecutionFailed:
        return QStringLiteral("Execution failed: %1").arg(message);
    }
    return {};
}

QJsonObject AppAction::record() const {
    QJsonObject object;
    object.insert(kTypeKey, type());
    const QByteArray json = QJsonDocument(configuration()).toJson(QJsonDocument::Compact);
    object.insert(kConfigurationKey, QString::fromLatin1(json.toBase64()));
    return object;
}

std::optional<QJsonObject> AppAction::decodeConfiguration(const QJsonObject& record) {
    const QJsonValue encoded = record.value(kConfigurationKey);
    if (!encoded.isString())
        return std::nullopt;
    const auto decoded =
        QByteArray::fromBase64Encoding(encoded.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(*decoded, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

std::unique_ptr<AppAction> AppAction::fromRecord(const QJsonObject& record) {
    const QString type = record.value(kTypeKey).toString();
    const auto config = decodeConfiguration(record);
    if (type == OpenAppAction::actionType)
        return std::make_unique<OpenAppAction>();
    if (!config)
        return nullptr;
    if (type == OpenInIDEAction::actionType) {
        const QJsonValue path = config->value(kProjectPathKey);
        if (!path.isString())
            return nullptr;
        return std::make_unique<OpenInIDEAction>(path.toString());
    }
    if (type == OpenBrowserProfileAction::actionType) {
        const QJsonValue dir = config->value(kProfileDirectoryKey);
        const QJsonValue name = config->value(kProfileNameKey);
        if (!dir.isString() || !name.isString())
            return nullptr;
        return std::make_unique<OpenBrowserProfileAction>(dir.toString(), name.toString(),
                                                          config->value(kPermissionFreeKey).toBool(true));
    }
    return nullptr;
}

QJsonObject OpenInIDEAction::configuration() const {
    return {{kProjectPathKey, projectPath_}};
}

QJsonObject OpenBrowserProfileAction::configuration() const {
    return {{kProfileDirectoryKey, profileDirectory_},
            {kProfileNameKey, profileName_},
            {kPermissionFreeKey, usePermissionFree_}};
}

} // namespace pierline
