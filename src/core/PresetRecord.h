#pragma once

#include "core/DockPreset.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace pierline {

inline const QString kSpacerPrefix = QStringLiteral("pierline-spacer-");
inline const QString kSmallSpacerPrefix = QStringLiteral("pierline-small-spacer-");

// Entry tests; the small form is tested first.
bool isSmallSpacerEntry(const QString& entry);
bool isSpacerEntry(const QString& entry); // a spacer, not a small spacer
QString spacerEntry(int counter);
QString smallSpacerEntry(int counter);
// "Spacer", "Small Spacer", or the app's name: the last component of the decoded URL path
// without ".app".
QString appDisplayName(const QString& entry);

// The `apps` attribute: JSON array of strings. Decoding prints "Failed to decode app URLs from
// preset." and gives an empty list when the text is absent or not such an array.
QStringList decodeApps(const std::optional<QString>& appsText);
// The same without the line: nullopt when the text is absent or not such an array.
std::optional<QStringList> tryDecodeApps(const std::optional<QString>& appsText);
QString encodeApps(const QStringList& apps);

// The key of an app's note: a spacer entry is its own key; an app's key is the percent-escaped
// file URL of its decoded path without a trailing "/", so every spelling finds the same note.
QString appNoteKey(const QString& appEntry);
// The `appNotes` attribute: a JSON object from note key to text; absent or unreadable is none.
QJsonObject decodeAppNotes(const std::optional<QString>& text);
std::optional<QString> encodeAppNotes(const QJsonObject& notes); // none for no notes
// Drops the notes of apps that `apps` no longer holds; true when the preset changed (not saved).
bool pruneAppNotes(DockPreset& preset, const QStringList& apps);

} // namespace pierline
