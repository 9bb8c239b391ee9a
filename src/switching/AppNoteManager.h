#pragma once

#include "core/DockPreset.h"

#include <QJsonObject>
#include <QStringList>
#include <exception>
#include <optional>
#include <string>

namespace pierline {

class ManagedObjectContext;

// A refused note change: domain "AppNoteManager", code 1 (preset note) or 2 (global note).
class AppNoteError : public std::exception {
public:
    AppNoteError(int code, QString description)
        : code_(code), description_(std::move(description)), what_(description_.toStdString()) {}
    static inline const QString kDomain = QStringLiteral("AppNoteManager");
    int code() const { return code_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int code_;
    QString description_;
    std::string what_;
};

// Notes per app: inside a preset (its `appNotes`) or global for the app (user defaults
// "globalAppNotes"). Keys are normalised so every spelling of an app's URL finds the same note.
// Main thread only; store failures are thrown as the store's errors.
class AppNoteManager {
public:
    static AppNoteManager& shared();
    static inline const QString globalNotesKey = QStringLiteral("globalAppNotes");

    std::optional<QString> note(const DockPreset& preset, const QString& appEntry) const;
    void setNote(DockPreset& preset, const QString& appEntry, const QString& note, ManagedObjectContext& context);
    std::optional<QString> globalNote(const QString& appEntry) const;
    // The notes that hold for these apps of the preset, by note key: the preset's own, else the global one.
    QJsonObject notesInForce(const DockPreset& preset, const QStringList& appEntries) const;
    void setGlobalNote(const QString& appEntry, const QString& note, ManagedObjectContext& context);
    void cleanupOrphanedNotes(DockPreset& preset, const QStringList& validAppEntries, ManagedObjectContext& context);

private:
    AppNoteManager() = default;
    static void store(DockPreset& preset, const QJsonObject& notes, ManagedObjectContext& context);
    static QJsonObject loadGlobalNotes();
};

} // namespace pierline
