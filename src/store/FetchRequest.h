#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace pierline {

// One test on an attribute; a request's conditions must all hold.
struct FetchCondition {
    enum class Op { Equal, IsNull, NotNull };
    QString attribute;
    Op op = Op::Equal;
    QVariant value;

    static FetchCondition equal(QString attribute, QVariant value) {
        return {std::move(attribute), Op::Equal, std::move(value)};
    }
    static FetchCondition isNull(QString attribute) { return {std::move(attribute), Op::IsNull, {}}; }
    static FetchCondition notNull(QString attribute) { return {std::move(attribute), Op::NotNull, {}}; }
};

struct SortDescriptor {
    QString attribute;
    bool ascending = true;
};

struct FetchRequest {
    QString entity;
    QList<FetchCondition> conditions;
    QList<SortDescriptor> sort;
    int limit = 0; // 0: no limit

    explicit FetchRequest(QString entityName) : entity(std::move(entityName)) {}
    FetchRequest& where(FetchCondition condition) {
        conditions.append(std::move(condition));
        return *this;
    }
    FetchRequest& sortedBy(QString attribute, bool ascending = true) {
        sort.append({std::move(attribute), ascending});
        return *this;
    }
    FetchRequest& limitedTo(int n) {
        limit = n;
        return *this;
    }
};

} // namespace pierline
