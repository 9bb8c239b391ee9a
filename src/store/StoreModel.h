#pragma once

#include "store/FetchRequest.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace pierline {

// The store's object model as data: entities, their attributes and relationships. The schema,
// the version hash checked at open and the migrations between versions all come from it.
enum class AttributeType { Uuid, String, Date, Int16, Boolean, Binary };

struct AttributeDescription {
    QString name;
    AttributeType type;
    bool optional = true;
    QVariant defaultValue; // invalid: none

    QString columnName() const { return QStringLiteral("Z") + name.toUpper(); }
};

struct RelationshipDescription {
    QString name;
    QString destination;
    bool toMany = false;
    QString inverse;
    QString deleteRule; // "nullify" or "cascade"

    // Only the to-one side has a column.
    QString columnName() const { return QStringLiteral("Z") + name.toUpper(); }
};

struct EntityDescription {
    QString name;
    QList<AttributeDescription> attributes;
    QList<RelationshipDescription> relationships;
    // Indexes (not part of the version hash): keys in order, each ascending or descending;
    // "Z_PK" and "Z_OPT" name the row's key and version, so an index can cover a key scan.
    QList<QList<SortDescriptor>> indexes;

    QString tableName() const { return QStringLiteral("Z") + name.toUpper(); }
    const AttributeDescription* attribute(const QString& attributeName) const;
    const RelationshipDescription* relationship(const QString& relationshipName) const;
};

struct ModelVersion {
    QString identifier;
    QList<EntityDescription> entities;

    const EntityDescription* entity(const QString& entityName) const;
    // Hex SHA-256 over a canonical text of entities, attributes (name, type, optionality,
    // default) and relationships; the same model always gives the same hash.
    QString versionHash() const;
};

// Every model version the program has shipped, oldest first; the last one is current.
const QList<ModelVersion>& pierlineModelHistory();

QString attributeTypeName(AttributeType type);

} // namespace pierline
