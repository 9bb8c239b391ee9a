#include "ContextRules.h"

#include "platform/UserDefaults.h"
#include "platform/UuidText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace pierline {
namespace {

using Kind = ContextCondition::Kind;

const QString kCondition = QStringLiteral("condition");
const QString kWorkspace = QStringLiteral("workspace");
const QString kName = QStringLiteral("name");
const QString kOn = QStringLiteral("on");
const QString kNames = QStringLiteral("names");
const QString kPresetId = QStringLiteral("presetID");

struct KindName {
    Kind kind;
    const char* name;
};
constexpr KindName kKindNames[] = {
    {Kind::Workspace, "workspace"}, {Kind::WorkspaceName, "workspace-name"},
    {Kind::DoNotDisturb, "dnd"},    {Kind::Displays, "displays"},
    {Kind::Display, "display"},     {Kind::Network, "network"},
    {Kind::Offline, "offline"},
};

QString kindName(Kind kind) {
    for (const KindName& entry : kKindNames)
        if (entry.kind == kind)
            return QString::fromLatin1(entry.name);
    return {};
}

std::optional<Kind> kindNamed(const QString& name) {
    for (const KindName& entry : kKindNames)
        if (name == QLatin1String(entry.name))
            return entry.kind;
    return std::nullopt;
}

std::optional<QList<StoredContextRule>> decode(const QByteArray& data, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray()) {
        *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                              : QStringLiteral("the stored value is not a list");
        return std::nullopt;
    }
    QList<StoredContextRule> rules;
    for (const QJsonValue& value : document.array()) {
        StoredContextRule entry;
        entry.stored = value;
        entry.rule = contextRuleFromJson(value, &entry.error);
        rules.append(entry);
    }
    return rules;
}

QByteArray encode(const QList<StoredContextRule>& rules) {
    QJsonArray array;
    for (const StoredContextRule& entry : rules)
        array.append(entry.rule ? contextRuleToJson(*entry.rule) : entry.stored);
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

} // namespace

bool ContextCondition::holds(const DesktopContext& context) const {
    switch (kind) {
    case Kind::Workspace:
        return context.workspace == workspace;
    case Kind::WorkspaceName:
        return context.workspace && context.workspaceName == name;
    case Kind::DoNotDisturb:
        return context.doNotDisturb == on;
    case Kind::Displays:
        return context.displays && QSet<QString>(context.displays->cbegin(), context.displays->cend()) ==
                                       QSet<QString>(names.cbegin(), names.cend());
    case Kind::Display:
        return context.displays && context.displays->contains(name);
    case Kind::Network:
        return context.networks && context.networks->contains(name);
    case Kind::Offline:
        return context.networks && context.networks->isEmpty();
    }
    return false;
}

QString ContextCondition::text() const {
    switch (kind) {
    case Kind::Workspace:
        return QStringLiteral("workspace %1").arg(workspace);
    case Kind::WorkspaceName:
    case Kind::Display:
    case Kind::Network:
        return kindName(kind) + QLatin1Char(' ') + name;
    case Kind::DoNotDisturb:
        return on ? QStringLiteral("dnd on") : QStringLiteral("dnd off");
    case Kind::Displays:
        return QStringLiteral("displays ") + names.join(QLatin1Char(','));
    case Kind::Offline:
        return QStringLiteral("offline");
    }
    return {};
}

QString ContextCondition::source() const {
    switch (kind) {
    case Kind::Workspace:
    case Kind::WorkspaceName:
        return QStringLiteral("workspace");
    case Kind::DoNotDisturb:
        return QStringLiteral("dnd");
    case Kind::Displays:
    case Kind::Display:
        return QStringLiteral("displays");
    case Kind::Network:
    case Kind::Offline:
        return QStringLiteral("network");
    }
    return {};
}

QJsonValue contextRuleToJson(const ContextRule& rule) {
    const ContextCondition& c = rule.condition;
    QJsonObject object{{kCondition, kindName(c.kind)}, {kPresetId, uuidText(rule.presetId)}};
    switch (c.kind) {
    case Kind::Workspace:
        object.insert(kWorkspace, c.workspace);
        break;
    case Kind::WorkspaceName:
    case Kind::Display:
    case Kind::Network:
        object.insert(kName, c.name);
        break;
    case Kind::DoNotDisturb:
        object.insert(kOn, c.on);
        break;
    case Kind::Displays:
        object.insert(kNames, QJsonArray::fromStringList(c.names));
        break;
    case Kind::Offline:
        break;
    }
    return object;
}

std::optional<ContextRule> contextRuleFromJson(const QJsonValue& value, QString* why) {
    const auto fail = [&](const QString& reason) -> std::optional<ContextRule> {
        *why = reason;
        return std::nullopt;
    };
    if (!value.isObject())
        return fail(QStringLiteral("not an object"));
    const QJsonObject object = value.toObject();
    const std::optional<Kind> kind = kindNamed(object.value(kCondition).toString());
    if (!kind)
        return fail(QStringLiteral("unknown condition '%1'").arg(object.value(kCondition).toVariant().toString()));
    ContextRule rule;
    rule.condition.kind = *kind;
    rule.presetId = QUuid(object.value(kPresetId).toString());
    if (rule.presetId.isNull())
        return fail(QStringLiteral("no preset identifier"));
    switch (*kind) {
    case Kind::Workspace: {
        const QJsonValue number = object.value(kWorkspace);
        if (!number.isDouble() || number.toDouble() < 0 || number.toDouble() != number.toInt())
            return fail(QStringLiteral("the workspace is not a whole number of 0 or more"));
        rule.condition.workspace = number.toInt();
        break;
    }
    case Kind::WorkspaceName:
    case Kind::Display:
    case Kind::Network:
        rule.condition.name = object.value(kName).toString();
        if (rule.condition.name.isEmpty())
            return fail(QStringLiteral("no name"));
        break;
    case Kind::DoNotDisturb:
        if (!object.value(kOn).isBool())
            return fail(QStringLiteral("no on or off"));
        rule.condition.on = object.value(kOn).toBool();
        break;
    case Kind::Displays:
        for (const QJsonValue& name : object.value(kNames).toArray()) {
            if (name.toString().isEmpty())
                return fail(QStringLiteral("an empty display name"));
            rule.condition.names.append(name.toString());
        }
        if (rule.condition.names.isEmpty())
            return fail(QStringLiteral("no display names"));
        break;
    case Kind::Offline:
        break;
    }
    return rule;
}

std::optional<QList<StoredContextRule>> ContextRuleTable::read(QString* error) {
    const UserDefaults& defaults = UserDefaults::standard();
    if (const auto readError = defaults.readError()) {
        *error = *readError;
        return std::nullopt;
    }
    if (!defaults.contains(kKey))
        return QList<StoredContextRule>{};
    const std::optional<QByteArray> data = defaults.data(kKey);
    if (!data) {
        *error = QStringLiteral("the stored value is not data");
        return std::nullopt;
    }
    return decode(*data, error);
}

std::optional<QString>
ContextRuleTable::edit(const std::function<std::optional<QString>(QList<StoredContextRule>&)>& change) {
    std::optional<QString> refused;
    QString error;
    const bool written = UserDefaults::standard().update(
        [&](QVariantMap& values) {
            QList<StoredContextRule> rules;
            if (values.contains(kKey)) {
                const QVariant stored = values.value(kKey);
                QString why;
                const auto decoded =
                    stored.typeId() == QMetaType::QByteArray ? decode(stored.toByteArray(), &why) : std::nullopt;
                if (!decoded) {
                    refused = QStringLiteral("the stored rules cannot be read (%1)")
                                  .arg(why.isEmpty() ? QStringLiteral("the stored value is not data") : why);
                    return false;
                }
                rules = *decoded;
            }
            refused = change(rules);
            if (refused)
                return false;
            values.insert(kKey, encode(rules));
            return true;
        },
        &error);
    if (refused)
        return refused;
    if (!written && !error.isEmpty())
        return error;
    return std::nullopt;
}

std::optional<qsizetype> winningContextRule(const QList<StoredContextRule>& rules, const DesktopContext& context,
                                            const std::function<bool(const QUuid&)>& presetExists,
                                            QList<qsizetype>* gone) {
    for (qsizetype i = 0; i < rules.size(); ++i) {
        const std::optional<ContextRule>& rule = rules[i].rule;
        if (!rule || !rule->condition.holds(context))
            continue;
        if (presetExists(rule->presetId))
            return i;
        if (gone)
            gone->append(i);
    }
    return std::nullopt;
}

} // namespace pierline
