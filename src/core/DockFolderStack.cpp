#include "DockFolderStack.h"

#include "DockPreset.h"

#include <QUrl>

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
    return optionalString(value(QStringLiteral("path")));
}
void DockFolderStack::setPath(const std::optional<QString>& v) {
    setValue(QStringLiteral("path"), fromOptional(v));
}
std::optional<QString> DockFolderStack::itemType() const {
    return optionalString(value(QStringLiteral("itemType")));
}
void DockFolderStack::setItemType(const std::optional<QString>& v) {
    setValue(QStringLiteral("itemType"), fromOptional(v));
}
std::optional<QString> DockFolderStack::url() const {
    return optionalString(value(QStringLiteral("url")));
}
void DockFolderStack::setUrl(const std::optional<QString>& v) {
    setValue(QStringLiteral("url"), fromOptional(v));
}
std::optional<QString> DockFolderStack::label() const {
    return optionalString(value(QStringLiteral("label")));
}
void DockFolderStack::setLabel(const std::optional<QString>& v) {
    setValue(QStringLiteral("label"), fromOptional(v));
}

QString DockFolderStack::displayAs() const {
    const QVariant v = value(QStringLiteral("displayAs"));
    return v.isValid() && !v.isNull() ? v.toString() : QStringLiteral("folder");
}
void DockFolderStack::setDisplayAs(const QString& v) {
    setValue(QStringLiteral("displayAs"), v);
}
QString DockFolderStack::showAs() const {
    const QVariant v = value(QStringLiteral("showAs"));
    return v.isValid() && !v.isNull() ? v.toString() : QStringLiteral("grid");
}
void DockFolderStack::setShowAs(const QString& v) {
    setValue(QStringLiteral("showAs"), v);
}
QString DockFolderStack::sortOrder() const {
    const QVariant v = value(QStringLiteral("sortOrder"));
    return v.isValid() && !v.isNull() ? v.toString() : QStringLiteral("name");
}
void DockFolderStack::setSortOrder(const QString& v) {
    setValue(QStringLiteral("sortOrder"), v);
}
qint16 DockFolderStack::order() const {
    return static_cast<qint16>(value(QStringLiteral("order")).toInt());
}
void DockFolderStack::setOrder(qint16 v) {
    setValue(QStringLiteral("order"), QVariant(static_cast<int>(v)));
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
