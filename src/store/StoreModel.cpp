#include "StoreModel.h"

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"

#include <QCryptographicHash>
#include <QStringList>
#include <algorithm>

namespace pierline {

const AttributeDescription* EntityDescription::attribute(const QString& attributeName) const {
    for (const auto& a : attributes)
        if (a.name == attributeName)
            return &a;
    return nullptr;
}

const RelationshipDescription* EntityDescription::relationship(const QString& relationshipName) const {
    for (const auto& r : relationships)
        if (r.name == relationshipName)
            return &r;
    return nullptr;
}

const EntityDescription* ModelVersion::entity(const QString& entityName) const {
    for (const auto& e : entities)
        if (e.name == entityName)
            return &e;
    return nullptr;
}

QString attributeTypeName(AttributeType type) {
    switch (type) {
    case AttributeType::Uuid:
        return QStringLiteral("UUID");
    case AttributeType::String:
        return QStringLiteral("String");
    case AttributeType::Date:
        return QStringLiteral("Date");
    case AttributeType::Int16:
        return QStringLiteral("Integer16");
    case AttributeType::Boolean:
        return QStringLiteral("Boolean");
    case AttributeType::Binary:
        return QStringLiteral("Transformable");
    }
    return {};
}

QString ModelVersion::versionHash() const {
    QList<const EntityDescription*> sorted;
    for (const auto& e : entities)
        sorted.append(&e);
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->name < b->name; });
    QStringList lines;
    for (const EntityDescription* e : sorted) {
        lines.append(QStringLiteral("entity %1").arg(e->name));
        QStringList members;
        for (const auto& a : e->attributes)
            members.append(QStringLiteral("  attribute %1 %2 optional=%3 default=%4")
                               .arg(a.name, attributeTypeName(a.type),
                                    a.optional ? QStringLiteral("yes") : QStringLiteral("no"),
                                    a.defaultValue.isValid() ? a.defaultValue.toString() : QStringLiteral("-")));
        for (const auto& r : e->relationships)
            members.append(QStringLiteral("  relationship %1 -> %2 %3 inverse=%4")
                               .arg(r.name, r.destination,
                                    r.toMany ? QStringLiteral("to-many") : QStringLiteral("to-one"), r.inverse));
        members.sort();
        lines.append(members);
    }
    return QString::fromLatin1(
        QCryptographicHash::hash(lines.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha256).toHex());
}

namespace {

ModelVersion version1() {
    using T = AttributeType;
    EntityDescription preset;
    preset.name = DockPreset::kEntityName;
    preset.attributes = {
        {QStringLiteral("id"), T::Uuid, true, {}},
        {QStringLiteral("name"), T::String, true, {}},
        {QStringLiteral("apps"), T::String, true, {}},
        {QStringLiteral("appNotes"), T::String, true, {}},
        {QStringLiteral("appActions"), T::String, true, {}},
        {QStringLiteral("createdAt"), T::Date, true, {}},
        {QStringLiteral("order"), T::Int16, false, 0},
        {QStringLiteral("harborletOnlyMode"), T::Boolean, false, false},
        {QStringLiteral("lastContextStatus"), T::String, true, {}},
        {QStringLiteral("lastContextNextSteps"), T::String, true, {}},
        {QStringLiteral("lastContextUpdatedAt"), T::Date, true, {}},
        {QStringLiteral("harborletConfiguration"), T::Binary, true, {}},
    };
    // Deleting a preset takes its items along: nothing else refers to them.
    preset.relationships = {{QStringLiteral("folderStacks"), DockFolderStack::kEntityName, true,
                             QStringLiteral("preset"), QStringLiteral("cascade")}};
    // Lookups by id and by name, and the list order.
    preset.indexes = {{{QStringLiteral("id"), true}},
                      {{QStringLiteral("name"), true}, {QStringLiteral("createdAt"), true}},
                      {{QStringLiteral("order"), true},
                       {QStringLiteral("createdAt"), false},
                       {QStringLiteral("Z_PK"), true},
                       {QStringLiteral("Z_OPT"), true}}};

    EntityDescription stack;
    stack.name = DockFolderStack::kEntityName;
    stack.attributes = {
        {QStringLiteral("path"), T::String, true, {}},
        {QStringLiteral("itemType"), T::String, true, {}},
        {QStringLiteral("url"), T::String, true, {}},
        {QStringLiteral("label"), T::String, true, {}},
        {QStringLiteral("displayAs"), T::String, false, QStringLiteral("folder")},
        {QStringLiteral("showAs"), T::String, false, QStringLiteral("grid")},
        {QStringLiteral("sortOrder"), T::String, false, QStringLiteral("name")},
        {QStringLiteral("order"), T::Int16, false, 0},
    };
    stack.relationships = {{QStringLiteral("preset"), DockPreset::kEntityName, false, QStringLiteral("folderStacks"),
                            QStringLiteral("nullify")}};

    return ModelVersion{QStringLiteral("Pierline 1"), {preset, stack}};
}

} // namespace

const QList<ModelVersion>& pierlineModelHistory() {
    static const QList<ModelVersion> history = {version1()};
    return history;
}

} // namespace pierline
