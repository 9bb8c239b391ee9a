#include "PresetJson.h"

#include "platform/Clock.h"

#include <QJsonArray>

namespace pierline {

QString isoDate(const QDateTime& date) {
    return date.toUTC().toString(Qt::ISODate);
}

QJsonObject folderStackRecordJson(const DockFolderStack& stack) {
    const auto path = stack.path();
    QJsonObject o;
    o.insert(QStringLiteral("path"), path.value_or(QString()));
    o.insert(QStringLiteral("displayAs"), stack.displayAs());
    o.insert(QStringLiteral("showAs"), stack.showAs());
    o.insert(QStringLiteral("sortOrder"), stack.sortOrder());
    o.insert(QStringLiteral("order"), stack.order());
    o.insert(QStringLiteral("itemType"), stack.itemType().value_or(QStringLiteral("folder")));
    o.insert(QStringLiteral("url"), stack.url().value_or(path.value_or(QString())));
    o.insert(QStringLiteral("label"), stack.label().value_or(QString()));
    return o;
}

QJsonObject presetRecordJson(const DockPreset& preset) {
    QJsonObject o;
    const QString id = preset.idString();
    if (!id.isEmpty())
        o.insert(QStringLiteral("idString"), id);
    o.insert(QStringLiteral("name"), preset.name().value_or(QString()));
    o.insert(QStringLiteral("createdAt"), isoDate(preset.createdAt().value_or(Clock::shared().now())));
    o.insert(QStringLiteral("apps"), preset.apps().value_or(QString()));
    if (const auto notes = preset.appNotes())
        o.insert(QStringLiteral("appNotes"), *notes);
    QJsonArray stacks;
    for (const auto& stack : preset.folderStacksArray())
        stacks.append(folderStackRecordJson(*stack));
    o.insert(QStringLiteral("folderStacks"), stacks);
    if (const auto status = preset.lastContextStatus())
        o.insert(QStringLiteral("lastContextStatus"), *status);
    if (const auto steps = preset.lastContextNextSteps())
        o.insert(QStringLiteral("lastContextNextSteps"), *steps);
    if (const auto updated = preset.lastContextUpdatedAt())
        o.insert(QStringLiteral("lastContextUpdatedAt"), isoDate(*updated));
    o.insert(QStringLiteral("order"), preset.order());
    return o;
}

} // namespace pierline
