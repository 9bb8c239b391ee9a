#include "AppNoteManager.h"

#include "core/PresetRecord.h"
#include "platform/Url.h"
#include "platform/UserDefaults.h"
#include "store/ManagedObjectContext.h"

#include <QJsonDocument>

namespace pierline {

AppNoteManager& AppNoteManager::shared() {
    static AppNoteManager instance;
    return instance;
}

QJsonObject AppNoteManager::loadGlobalNotes() {
    const auto data = UserDefaults::standard().data(globalNotesKey);
    if (!data)
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(*data);
    return doc.isObject() ? doc.object() : QJsonObject{};
}

void AppNoteManager::store(DockPreset& preset, const QJsonObject& notes, ManagedObjectContext& context) {
    preset.setAppNotes(encodeAppNotes(notes));
    context.save();
}

std::optional<QString> AppNoteManager::note(const DockPreset& preset, const QString& appEntry) const {
    const QJsonValue value = decodeAppNotes(preset.appNotes()).value(appNoteKey(appEntry));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

void AppNoteManager::setNote(DockPreset& preset, const QString& appEntry, const QString& note,
                             ManagedObjectContext& context) {
    if (appEntry.isEmpty())
        throw AppNoteError(1, QStringLiteral("Cannot set note for empty app URL"));
    const QString key = appNoteKey(appEntry);
    QJsonObject notes = decodeAppNotes(preset.appNotes());
    const QString trimmed = note.trimmed();
    if (trimmed.isEmpty())
        notes.remove(key);
    else
        notes.insert(key, trimmed);
    store(preset, notes, context);
}

std::optional<QString> AppNoteManager::globalNote(const QString& appEntry) const {
    const QJsonValue value = loadGlobalNotes().value(appNoteKey(appEntry));
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

QJsonObject AppNoteManager::notesInForce(const DockPreset& preset, const QStringList& appEntries) const {
    const QJsonObject own = decodeAppNotes(preset.appNotes());
    const QJsonObject global = loadGlobalNotes();
    QJsonObject notes;
    for (const QString& entry : appEntries) {
        const QString key = appNoteKey(entry);
        const QJsonValue value = own.value(key).isString() ? own.value(key) : global.value(key);
        if (value.isString())
            notes.insert(key, value);
    }
    return notes;
}

void AppNoteManager::setGlobalNote(const QString& appEntry, const QString& note, ManagedObjectContext& context) {
    if (appEntry.isEmpty())
        throw AppNoteError(2, QStringLiteral("Cannot set global note for empty app URL"));
    const QString key = appNoteKey(appEntry);
    QJsonObject notes = loadGlobalNotes();
    const QString trimmed = note.trimmed();
    if (trimmed.isEmpty())
        notes.remove(key);
    else
        notes.insert(key, trimmed);
    try {
        if (notes.isEmpty())
            UserDefaults::standard().remove(globalNotesKey);
        else
            UserDefaults::standard().set(globalNotesKey, QJsonDocument(notes).toJson(QJsonDocument::Compact));
    } catch (const UserDefaultsError& error) {
        // Nothing stored: the presets keep their own notes too.
        throw AppNoteError(2, QStringLiteral("Could not save the global note: %1").arg(error.message()));
    }
    if (trimmed.isEmpty())
        return;

    // A global note replaces the per-preset notes of the same app.
    for (const DockPresetPtr& preset : context.fetch<DockPreset>(FetchRequest(DockPreset::kEntityName))) {
        QJsonObject presetNotes = decodeAppNotes(preset->appNotes());
        if (!presetNotes.contains(key))
            continue;
        presetNotes.remove(key);
        store(*preset, presetNotes, context);
    }
}

void AppNoteManager::cleanupOrphanedNotes(DockPreset& preset, const QStringList& validAppEntries,
                                          ManagedObjectContext& context) {
    if (pruneAppNotes(preset, validAppEntries))
        context.save();
}

} // namespace pierline
