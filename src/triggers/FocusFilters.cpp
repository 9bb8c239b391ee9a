#include "triggers/FocusFilters.h"

#include "platform/UserDefaults.h"
#include "platform/UuidText.h"

#include <QUuid>

namespace pierline {
namespace {

const QString kIdKey = QStringLiteral("id");
const QString kPresetIdKey = QStringLiteral("presetId");
const QString kPresetNameKey = QStringLiteral("presetName");

QString damaged(const QString& why) {
    return QStringLiteral("The Focus filters (%1) cannot be read: %2").arg(FocusFilters::kTableKey, why);
}

std::variant<QList<FocusFilterEntry>, QString> parse(const QVariant& table) {
    if (!table.isValid())
        return QList<FocusFilterEntry>{};
    if (table.typeId() != QMetaType::QVariantMap)
        return damaged(QStringLiteral("it is not a dictionary"));
    QList<FocusFilterEntry> entries;
    const QVariantMap modes = table.toMap();
    for (auto it = modes.begin(); it != modes.end(); ++it) {
        if (it.value().typeId() != QMetaType::QVariantMap)
            return damaged(QStringLiteral("the entry of '%1' is not a dictionary").arg(it.key()));
        const QVariantMap record = it.value().toMap();
        const QVariant id = record.value(kIdKey);
        if (id.typeId() != QMetaType::QString || id.toString().isEmpty())
            return damaged(QStringLiteral("the entry of '%1' has no filter id").arg(it.key()));
        FocusFilterEntry entry{it.key(), {id.toString(), std::nullopt}};
        const QVariant presetId = record.value(kPresetIdKey);
        const QVariant presetName = record.value(kPresetNameKey);
        if (presetId.isValid() || presetName.isValid()) {
            if (presetId.typeId() != QMetaType::QString || presetName.typeId() != QMetaType::QString)
                return damaged(QStringLiteral("the preset of '%1' is not two strings").arg(it.key()));
            entry.filter.preset = PresetEntity{presetId.toString(), presetName.toString()};
        }
        entries.append(entry);
    }
    return entries;
}

} // namespace

QString FocusFilters::unknownModeText(const QString& mode) {
    return QStringLiteral("No Focus filter for the mode '%1'").arg(mode);
}

std::variant<QList<FocusFilterEntry>, QString> FocusFilters::load() {
    UserDefaults& defaults = UserDefaults::standard();
    if (const auto error = defaults.readError())
        return damaged(*error);
    return parse(defaults.object(kTableKey).value_or(QVariant()));
}

std::optional<QString> FocusFilters::set(const QString& mode, const std::optional<PresetEntity>& preset) {
    std::optional<QString> failure;
    QString error;
    const bool ok = UserDefaults::standard().update(
        [&](QVariantMap& domain) {
            const auto entries = parse(domain.value(kTableKey));
            if (const QString* why = std::get_if<QString>(&entries)) {
                failure = *why;
                return false;
            }
            QVariantMap table = domain.value(kTableKey).toMap();
            QVariantMap record;
            const QString existing = table.value(mode).toMap().value(kIdKey).toString();
            record.insert(kIdKey, existing.isEmpty() ? uuidText(QUuid::createUuid()) : existing);
            if (preset) {
                record.insert(kPresetIdKey, preset->id);
                record.insert(kPresetNameKey, preset->name);
            }
            table.insert(mode, record);
            domain.insert(kTableKey, table);
            return true;
        },
        &error);
    if (failure)
        return failure;
    if (!ok)
        return error;
    return std::nullopt;
}

std::variant<bool, QString> FocusFilters::remove(const QString& mode) {
    if (const auto error = UserDefaults::standard().readError())
        return damaged(*error);
    std::optional<QString> failure;
    bool removed = false;
    QString error;
    const bool ok = UserDefaults::standard().update(
        [&](QVariantMap& domain) {
            const auto entries = parse(domain.value(kTableKey));
            if (const QString* why = std::get_if<QString>(&entries)) {
                failure = *why;
                return false;
            }
            QVariantMap table = domain.value(kTableKey).toMap();
            removed = table.remove(mode) > 0;
            if (!removed)
                return false;
            domain.insert(kTableKey, table);
            return true;
        },
        &error);
    if (failure)
        return *failure;
    if (!ok && removed)
        return error;
    return removed;
}

} // namespace pierline
