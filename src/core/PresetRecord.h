#pragma once

#include "core/DockPreset.h"

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
QString encodeApps(const QStringList& apps);

} // namespace pierline
