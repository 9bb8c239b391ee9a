#include "AppArgument.h"
#include "Commands.h"
#include "PresetCommandSupport.h"

#include "app/Cli.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"
#include "platform/UuidText.h"
#include "store/DockPresetManager.h"
#include "store/PersistenceController.h"
#include "store/StoreError.h"
#include "switching/AppSettings.h"
#include "targets/DockTarget.h"
#include "targets/plank/PlankTarget.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <algorithm>
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

// A number outside the range the settings window offers, as a usage message.
std::optional<QString> rangeError(const SettingDescriptor& d, double number) {
    if (!d.hasRange() || (number >= d.minimum && number <= d.maximum))
        return std::nullopt;
    const auto text = [](double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
    return QStringLiteral("Invalid value for %1: must be from %2 to %3 (seconds), got %4")
        .arg(d.key, text(d.minimum), text(d.maximum), text(number));
}

// The paths of the apps (bundles or desktop files) named by paths, file URLs, desktop IDs or
// application names; nullopt after printing which one names no app.
std::optional<QStringList> excludedAppPaths(const QStringList& apps) {
    QStringList paths;
    for (const QString& app : apps) {
        const auto entry = entryForBundle(app);
        const auto path = entry ? filePathOfLocation(*entry) : std::nullopt;
        if (!path) {
            err(QStringLiteral("Invalid value for excludedApps: no application '%1' (give a bundle path, a desktop "
                               "file or desktop ID, or the name of an app in the Applications folder)")
                    .arg(app));
            return std::nullopt;
        }
        if (!paths.contains(*path))
            paths.append(*path);
    }
    return paths;
}

// The identifiers of existing presets in their stored form; nullopt after printing why not.
std::optional<QStringList> presetIds(const QStringList& ids, int& exitCode) {
    exitCode = kExitUsage;
    QStringList out;
    QList<QUuid> wanted;
    for (const QString& text : ids) {
        const QUuid id = QUuid::fromString(text.trimmed());
        if (id.isNull()) {
            err(QStringLiteral("Invalid value for excludedPresetIds: '%1' is not a preset UUID (see the idString "
                               "of `pierline presets --json`)")
                    .arg(text));
            return std::nullopt;
        }
        wanted.append(id);
    }
    if (wanted.isEmpty())
        return out;
    exitCode = kExitFailed;
    DockPresetManager* manager = openPresetManager();
    if (!manager)
        return std::nullopt;
    QList<DockPresetPtr> presets;
    try {
        presets = manager->fetchAllPresetsOrThrow();
    } catch (const StoreError& error) {
        err(PersistenceError::fetchFailed(error).description());
        return std::nullopt;
    }
    exitCode = kExitUsage;
    for (const QUuid& id : wanted) {
        const bool known = std::any_of(presets.cbegin(), presets.cend(),
                                       [&](const DockPresetPtr& preset) { return preset->id() == id; });
        if (!known) {
            err(QStringLiteral("Invalid value for excludedPresetIds: no preset has the id %1").arg(uuidText(id)));
            return std::nullopt;
        }
        if (!out.contains(uuidText(id)))
            out.append(uuidText(id));
    }
    return out;
}

// The value to store for `d`, or the exit code after printing why it is refused.
std::variant<QVariant, int> checkedValue(const SettingDescriptor& d, const QVariant& value) {
    if (const auto error = d.type == SettingType::Double ? rangeError(d, value.toDouble()) : std::nullopt) {
        err(*error);
        return kExitUsage;
    }
    if (d.id == Setting::ExcludedApps) {
        const auto paths = excludedAppPaths(value.toStringList());
        if (!paths)
            return kExitUsage;
        return QVariant(*paths);
    }
    if (d.id == Setting::DockTarget && !value.toString().isEmpty() && !dockTargetIds().contains(value.toString())) {
        err(QStringLiteral("Invalid value for dockTarget: %1 (one of %2, or \"\" to choose from the desktop)")
                .arg(value.toString(), dockTargetIds().join(QStringLiteral(", "))));
        return kExitUsage;
    }
    if (d.id == Setting::PlankDock) {
        if (const auto problem = PlankTarget::dockNameProblem(value.toString())) {
            err(QStringLiteral("Invalid value for plankDock: %1").arg(*problem));
            return kExitUsage;
        }
    }
    if (d.id == Setting::ExcludedPresetIds) {
        int exitCode = kExitUsage;
        const auto ids = presetIds(value.toStringList(), exitCode);
        if (!ids)
            return exitCode;
        return QVariant(*ids);
    }
    return value;
}

// The settings file must be readable before anything is shown from it; defaults shown in place of
// a damaged file would look like the user's choices.
bool settingsReadable() {
    if (const auto error = UserDefaults::standard().readError()) {
        err(QStringLiteral("Could not read the settings: %1").arg(*error));
        return false;
    }
    return true;
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
    if (!requireHome() || !settingsReadable())
        return kExitFailed;
    AppSettings& settings = AppSettings::shared();
    if (json) {
        QJsonObject object;
        for (const SettingDescriptor& d : settingDescriptors())
            object.insert(d.key, jsonValue(d.type, settings.value(d.key)));
        outJson(object);
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
        out(QStringLiteral("Shows or changes the settings. Booleans are true or false, numbers are seconds within"));
        out(QStringLiteral("the range the settings window offers, lists are JSON arrays of strings: excludedApps"));
        out(QStringLiteral("takes bundle paths or app names, excludedPresetIds the ids of presets."));
        return kExitOk;
    }
    if (args.isEmpty())
        return listSettings(false);
    if (args == QStringList{QStringLiteral("--json")})
        return listSettings(true);
    if (args.first() == QLatin1String("--json"))
        return usageError(QStringLiteral("Unexpected argument: %1").arg(args.at(1)));

    const QString action = args.first();
    if (action == QLatin1String("get")) {
        if (args.size() != 2)
            return usageError(QStringLiteral("settings get takes one KEY."));
        const SettingDescriptor* d = knownSetting(args.at(1));
        if (!d)
            return kExitUsage;
        if (!requireHome() || !settingsReadable())
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
        const auto checked = checkedValue(*d, std::get<QVariant>(parsed));
        if (const auto* exitCode = std::get_if<int>(&checked))
            return *exitCode;
        // Loading the settings from a damaged file would only warn; say once why nothing is stored.
        if (const auto error = UserDefaults::standard().readError()) {
            err(QStringLiteral("Could not set %1: %2").arg(d->key, *error));
            return kExitFailed;
        }
        try {
            if (!AppSettings::shared().setValue(d->key, std::get<QVariant>(checked))) {
                err(QStringLiteral("Could not set %1: the value does not have the setting's type").arg(d->key));
                return kExitFailed;
            }
        } catch (const UserDefaultsError& error) {
            err(QStringLiteral("Could not set %1: %2").arg(d->key, error.message()));
            return kExitFailed;
        }
        out(QStringLiteral("Set %1 to %2").arg(d->key, formatValue(d->type, AppSettings::shared().value(d->key))));
        return kExitOk;
    }
    return usageError(QStringLiteral("Unknown settings action: %1").arg(action));
}

} // namespace pierline::cli
