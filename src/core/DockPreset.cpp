#include "DockPreset.h"

#include "platform/UuidText.h"

#include <algorithm>

namespace pierline {
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
    return optionalString(QStringLiteral("name"));
}
void DockPreset::setName(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("name"), v);
}
std::optional<QString> DockPreset::apps() const {
    return optionalString(QStringLiteral("apps"));
}
void DockPreset::setApps(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("apps"), v);
}
std::optional<QString> DockPreset::appNotes() const {
    return optionalString(QStringLiteral("appNotes"));
}
void DockPreset::setAppNotes(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("appNotes"), v);
}
std::optional<QString> DockPreset::appActions() const {
    return optionalString(QStringLiteral("appActions"));
}
void DockPreset::setAppActions(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("appActions"), v);
}
std::optional<QDateTime> DockPreset::createdAt() const {
    return optionalDate(QStringLiteral("createdAt"));
}
void DockPreset::setCreatedAt(const std::optional<QDateTime>& v) {
    setOptionalDate(QStringLiteral("createdAt"), v);
}
qint16 DockPreset::order() const {
    return int16Value(QStringLiteral("order"));
}
void DockPreset::setOrder(qint16 v) {
    setInt16Value(QStringLiteral("order"), v);
}
bool DockPreset::harborletOnlyMode() const {
    return value(QStringLiteral("harborletOnlyMode")).toBool();
}
void DockPreset::setHarborletOnlyMode(bool v) {
    setValue(QStringLiteral("harborletOnlyMode"), QVariant(v));
}
std::optional<QString> DockPreset::lastContextStatus() const {
    return optionalString(QStringLiteral("lastContextStatus"));
}
void DockPreset::setLastContextStatus(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("lastContextStatus"), v);
}
std::optional<QString> DockPreset::lastContextNextSteps() const {
    return optionalString(QStringLiteral("lastContextNextSteps"));
}
void DockPreset::setLastContextNextSteps(const std::optional<QString>& v) {
    setOptionalString(QStringLiteral("lastContextNextSteps"), v);
}
std::optional<QDateTime> DockPreset::lastContextUpdatedAt() const {
    return optionalDate(QStringLiteral("lastContextUpdatedAt"));
}
void DockPreset::setLastContextUpdatedAt(const std::optional<QDateTime>& v) {
    setOptionalDate(QStringLiteral("lastContextUpdatedAt"), v);
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
    return uuid ? uuidText(*uuid) : QString();
}

bool DockPreset::isPlaceholderName(const std::optional<QString>& name) {
    if (!name)
        return true;
    const QString folded = name->trimmed().toLower();
    return folded.isEmpty() || folded == QLatin1String("undefined") || folded == QLatin1String("null");
}

std::optional<QString> DockPreset::nameProblem(const QString& name) {
    if (name.trimmed().isEmpty())
        return QStringLiteral("The preset name must not be blank.");
    if (isPlaceholderName(name))
        return QStringLiteral("The preset name '%1' is reserved for a missing name; choose another.").arg(name);
    return shownTextProblem(name, QStringLiteral("preset name"));
}

std::optional<QString> shownTextProblem(const QString& text, const QString& what) {
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("The %1 must not contain control characters.").arg(what);
        // Bytes that were not UTF-8 arrive as replacement characters; lone surrogates cannot be stored.
        const bool pairedHigh = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (c == QChar::ReplacementCharacter ||
            (c.isSurrogate() && !pairedHigh && !(c.isLowSurrogate() && i > 0 && text[i - 1].isHighSurrogate())))
            return QStringLiteral("The %1 is not valid UTF-8 text.").arg(what);
        if (!c.isLowSurrogate())
            ++characters;
    }
    if (characters > kMaxShownTextLength)
        return QStringLiteral("The %1 is too long: %2 characters, at most %3.")
            .arg(what)
            .arg(characters)
            .arg(kMaxShownTextLength);
    return std::nullopt;
}

} // namespace pierline
