#include "HarborletConfiguration.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace pierline {

QByteArray HarborletConfiguration::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("visibleDockIds"), QJsonArray::fromStringList(visibleDockIds));
    object.insert(QStringLiteral("hiddenDockIds"), QJsonArray::fromStringList(hiddenDockIds));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<HarborletConfiguration> HarborletConfiguration::fromJson(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    HarborletConfiguration config;
    for (const auto& v : doc.object().value(QStringLiteral("visibleDockIds")).toArray())
        if (v.isString())
            config.visibleDockIds.append(v.toString());
    for (const auto& v : doc.object().value(QStringLiteral("hiddenDockIds")).toArray())
        if (v.isString())
            config.hiddenDockIds.append(v.toString());
    return config;
}

} // namespace pierline
