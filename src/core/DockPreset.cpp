#include "DockPreset.h"

#include <algorithm>

namespace pierline {
namespace {

std::optional<QString> optionalString(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    return v.toString();
}

QVariant fromOptional(const std::optional<QString>& s) {
    return s ? QVariant(*s) : QVariant();
}

std::optional<QDateTime> optionalDate(const QVariant& v) {
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    const QDateTime d = v.toDateTime();
    if (!d.isValid())
        return std::nullopt;
    return d;
}

QVariant fromOptional(const std::optional<QDateTime>& d) {
    return d && d->isValid() ? QVariant(d->toUTC()) : QVariant();
}

} // namespace

std::optional<QUuid> DockPreset::id() const {
    const QVariant v = value(QStringLiteral("id"));
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    const QUuid uuid = v.toUuid();
    if (uuid.isNull())
        return std::nullopt;
    return uuid;
}

void DockPreset::setId(const std::optional<QUuid>& v) {
    setValue(QStringLiteral("id"), v && !v->isNull() ? QVariant(*v) : QVariant());
}

std::optional<QString> DockPreset::name() const {
    return optionalString(value(QStringLiteral("name")));
}
void DockPreset::setName(const std::optional<QString>& v) {
    setValue(QStringLiteral("name"), fromOptional(v));
}
std::optional<QString> DockPreset::apps() const {
    return optionalString(value(QStringLiteral("apps")));
}
void DockPreset::setApps(const std::optional<QString>& v) {
    setValue(QStringLiteral("apps"), fromOptional(v));
}
std::optional<QString> DockPreset::appNotes() const {
    return optionalString(value(QStringLiteral("appNotes")));
}
void DockPreset::setAppNotes(const std::optional<QString>& v) {
    setValue(QStringLiteral("appNotes"), fromOptional(v));
}
std::optional<QString> DockPreset::appActions() const {
    return optionalString(value(QStringLiteral("appActions")));
}
void DockPreset::setAppActions(const std::optional<QString>& v) {
    setValue(QStringLiteral("appActions"), fromOptional(v));
}
std::optional<QDateTime> DockPreset::createdAt() const {
    return optionalDate(value(QStringLiteral("createdAt")));
}
void DockPreset::setCreatedAt(const std::optional<QDateTime>& v) {
    setValue(QStringLiteral("createdAt"), fromOptional(v));
}
qint16 DockPreset::order() const {
    return static_cast<qint16>(value(QStringLiteral("order")).toInt());
}
void DockPreset::setOrder(qint16 v) {
    setValue(QStringLiteral("order"), QVariant(static_cast<int>(v)));
}
bool DockPreset::harborletOnlyMode() const {
    return value(QStringLiteral("harborletOnlyMode")).toBool();
}
void DockPreset::setHarborletOnlyMode(bool v) {
    setValue(QStringLiteral("harborletOnlyMode"), QVariant(v));
}
std::optional<QString> DockPreset::lastContextStatus() const {
    return optionalString(value(QStringLiteral("lastContextStatus")));
}
void DockPreset::setLastContextStatus(const std::optional<QString>& v) {
    setValue(QStringLiteral("lastContextStatus"), fromOptional(v));
}
std::optional<QString> DockPreset::lastContextNextSteps() const {
    return optionalString(value(QStringLiteral("lastContextNextSteps")));
}
void DockPreset::setLastContextNextSteps(const std::optional<QString>& v) {
    setValue(QStringLiteral("lastContextNextSteps"), fromOptional(v));
}
std::optional<QDateTime> DockPreset::lastContextUpdatedAt() const {
    return optionalDate(value(QStringLiteral("lastContextUpdatedAt")));
}
void DockPreset::setLastContextUpdatedAt(const std::optional<QDateTime>& v) {
    setValue(QStringLiteral("lastContextUpdatedAt"), fromOptional(v));
}

std::optional<HarborletConfiguration> DockPreset::harborletConfiguration() const {
    const QVariant v = value(QStringLiteral("harborletConfiguration"));
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    return HarborletConfiguration::fromJson(v.toByteArray());
}

void DockPreset::setHarborletConfiguration(const std::optional<HarborletConfiguration>& v) {
    setValue(QStringLiteral("harborletConfiguration"), v ? QVariant(v->toJson()) : QVariant());
}

QList<DockFolderStackPtr> DockPreset::folderStacks() const {
    ObjectContextHooks* h = hooks();
    return h ? h->folderStacks(*this) : QList<DockFolderStackPtr>{};
}

QList<DockFolderStackPtr> DockPreset::folderStacksArray() const {
    QList<DockFolderStackPtr> items = folderStacks();
    std::stable_sort(items.begin(), items.end(),
                     [](const DockFolderStackPtr& a, const DockFolderStackPtr& b) { return a->order() < b->order(); });
    return items;
}

QString DockPreset::idString() const {
    const auto uuid = id();
    return uuid ? uuid->toString(QUuid::WithoutBraces).toUpper() : QString();
}

} // namespace pierline
