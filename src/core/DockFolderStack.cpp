#include "DockFolderStack.h"

#include "DockPreset.h"

#include <QUrl>

namespace pierline {
namespace {

// Last component of a plain path or of a URL's decoded path, ignoring trailing slashes.
QString lastComponent(const QString& location) {
    QString path = location;
    if (location.contains(QStringLiteral("://"))) {
        const QUrl url(location);
        if (url.isValid())
            path = url.path(QUrl::FullyDecoded);
    }
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 ? path.mid(slash + 1) : path; // empty for a root
}

bool isBlank(const std::optional<QString>& s) {
    return !s || s->trimmed().isEmpty();
}

} // namespace

std::optional<QString> DockFolderStack::path() const {
    return optionalString(QStringLiteral("path"));
}
void DockFolderStack::setPath(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("path"), v);
}
std::optional<QString> DockFolderStack::itemType() const {
    return optionalString(QStringLiteral("itemType"));
}
void DockFolderStack::setItemType(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("itemType"), v);
}
std::optional<QString> DockFolderStack::url() const {
    return optionalString(QStringLiteral("url"));
}
void DockFolderStack::setUrl(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("url"), v);
}
std::optional<QString> DockFolderStack::label() const {
    return optionalString(QStringLiteral("label"));
}
void DockFolderStack::setLabel(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("label"), v);
}

QString DockFolderStack::displayAs() const {
    return stringOr(QStringLiteral("displayAs"), QStringLiteral("folder"));
}
void DockFolderStack::setDisplayAs(const QString& v) {
    setValue(QStringLiteral("displayAs"), v);
}
QString DockFolderStack::showAs() const {
    return stringOr(QStringLiteral("showAs"), QStringLiteral("grid"));
}
void DockFolderStack::setShowAs(const QString& v) {
    setValue(QStringLiteral("showAs"), v);
}
QString DockFolderStack::sortOrder() const {
    return stringOr(QStringLiteral("sortOrder"), QStringLiteral("name"));
}
void DockFolderStack::setSortOrder(const QString& v) {
    setValue(QStringLiteral("sortOrder"), v);
}
qint16 DockFolderStack::order() const {
    return int16Value(QStringLiteral("order"));
}
void DockFolderStack::setOrder(qint16 v) {
    setInt16Value(QStringLiteral("order"), v);
}

std::shared_ptr<DockPreset> DockFolderStack::preset() const {
    ObjectContextHooks* h = hooks();
    return h ? h->presetOf(*this) : nullptr;
}

void DockFolderStack::setPreset(const std::shared_ptr<DockPreset>& preset) {
    if (ObjectContextHooks* h = hooks())
        h->setPresetOf(*this, preset);
}

QString DockFolderStack::effectiveType() const {
    const auto type = itemType();
    if (type && !type->isEmpty())
        return *type;
    if (!path() && url())
        return QStringLiteral("url");
    return QStringLiteral("folder");
}

QString DockFolderStack::effectiveLabel() const {
    const auto stored = label();
    if (!isBlank(stored))
        return *stored;
    const auto location = path() ? path() : url();
    if (location) {
        const QString last = lastComponent(*location);
        if (!last.isEmpty())
            return last;
    }
    return url().value_or(QString());
}

DockFolderStackValues DockFolderStack::values() const {
    DockFolderStackValues v;
    v.path = path();
    v.itemType = itemType();
    v.url = url();
    v.label = label();
    v.displayAs = displayAs();
    v.showAs = showAs();
    v.sortOrder = sortOrder();
    v.order = order();
    return v;
}

void DockFolderStack::assign(const DockFolderStackValues& v) {
    setPath(v.path);
    setItemType(v.itemType);
    setUrl(v.url);
    setLabel(v.label);
    setDisplayAs(v.displayAs);
    setShowAs(v.showAs);
    setSortOrder(v.sortOrder);
    setOrder(v.order);
}

} // namespace pierline
