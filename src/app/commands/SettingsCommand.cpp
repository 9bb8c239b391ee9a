#include "Commands.h"

#include "app/Cli.h"
#include "switching/AppSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <cmath>
#include <variant>

namespace pierline::cli {
namespace {

const QString kUsage = QStringLiteral("settings [--json] | settings get KEY | settings set KEY VALUE");

int usageError(const QString& message) {
    err(message);
    err(QStringLiteral("Usage: pierline %1").arg(kUsage));
    return kExitUsage;
}

QString formatValue(SettingType type, const QVariant& value) {
    switch (type) {
    case SettingType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case SettingType::Double:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case SettingType::String:
        return value.toString();
    case SettingType::StringArray:
        return QString::fromUtf8(
            QJsonDocument(QJsonArray::fromStringList(value.toStringList())).toJson(QJsonDocument::Compact));
    }
    return {};
}

QJsonValue jsonValue(SettingType type, const QVariant& value) {
    switch (type) {
    case SettingType::Bool:
        return value.toBool();
    case SettingType::Double:
        return value.toDouble();
    case SettingType::String:
        return value.toString();
    case SettingType::StringArray:
        return QJsonArray::fromStringList(value.toStringList());
    }
    return {};
}

// The text of a value as the setting's type, or an error message.
std::variant<QVariant, QString> parseValue(const SettingDescriptor& d, const QString& text) {
    switch (d.type) {
    case SettingType::Bool:
        if (text == QLatin1String("true"))
            return QVariant(true);
        if (text == QLatin1String("false"))
            return QVariant(false);
        return QStringLiteral("Invalid value for %1: expected true or false, got '%2'").arg(d.key, text);
    case SettingType::Double: {
        bool ok = false;
        const double number = text.trimmed().toDouble(&ok);
        if (ok && std::isfinite(number))
            return QVariant(number);
        return QStringLiteral("Invalid value for %1: expected a number, got '%2'").arg(d.key, text);
    }
    case SettingType::String:
        return QVariant(text);
    case SettingType::StringArray: {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
        if (error.error == QJsonParseError::NoError && doc.isArray()) {
            QStringList list;
            bool allStrings = true;
            for (const QJsonValue& item : doc.array()) {
                allStrings = allStrings && item.isString();
                list.append(item.toString());
            }
            if (allStrings)
                return QVariant(list);
        }
        return QStringLiteral("Invalid value for %1: expected a JSON array of strings such as [\"a\",\"b\"], got '%2'")
            .arg(d.key, text);
    }
    }
    return QStringLiteral("Invalid value for %1").arg(d.key);
}

const SettingDescriptor* knownSetting(const QString& key) {
    const SettingDescriptor* d = findSettingDescriptor(key);
    if (!d) {
        err(QStringLiteral("Unknown setting: %1").arg(key));
        err(QStringLiteral("Run `pierline settings` for the list of settings."));
    }
    return d;
}

int listSettings(bool json) {
    if (!requireHome())
        return kExitFailed;
    AppSettings& settings = AppSettings::shared();
    if (json) {
        QJsonObject object;
        for (const SettingDescriptor& d : settingDescriptors())
            object.insert(d.key, jsonValue(d.type, settings.value(d.key)));
        outRaw(QJsonDocument(object).toJson(QJsonDocument::Indented));
        return kExitOk;
    }
    for (const SettingDescriptor& d : settingDescriptors())
        out(QStringLiteral("%1 = %2").arg(d.key, formatValue(d.type, settings.value(d.key))));
    return kExitOk;
}

} // namespace

int runSettingsCommand(const QStringList& args) {
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out(QStringLiteral("Usage: pierline %1").arg(kUsage));
        out(QStringLiteral("Shows or changes the settings. Booleans are true or false, numbers are written as they"));
        out(QStringLiteral("are (seconds for the timings), lists are JSON arrays of strings."));
        return kExitOk;
    }
    if (args.isEmpty())
        return listSettings(false);
    if (args == QStringList{QStringLiteral("--json")})
        return listSettings(true);

    const QString action = args.first();
    if (action == QLatin1String("get")) {
        if (args.size() != 2)
            return usageError(QStringLiteral("settings get takes one KEY."));
        const SettingDescriptor* d = knownSetting(args.at(1));
        if (!d)
            return kExitUsage;
        if (!requireHome())
            return kExitFailed;
        out(formatValue(d->type, AppSettings::shared().value(d->key)));
        return kExitOk;
    }
    if (action == QLatin1String("set")) {
        if (args.size() != 3)
            return usageError(QStringLiteral("settings set takes a KEY and a VALUE."));
        const SettingDescriptor* d = knownSetting(args.at(1));
        if (!d)
            return kExitUsage;
        const auto parsed = parseValue(*d, args.at(2));
        if (const auto* message = std::get_if<QString>(&parsed)) {
            err(*message);
            return kExitUsage;
        }
        if (!AppSettings::shared().setValue(d->key, std::get<QVariant>(parsed))) {
            err(QStringLiteral("Could not set %1.").arg(d->key));
            return kExitFailed;
        }
        return kExitOk;
    }
    return usageError(QStringLiteral("Unknown settings action: %1").arg(action));
}

} // namespace pierline::cli
