#pragma once

#include <QString>

namespace pierline {

// Posted after every apply, once the app actions have finished, for the Last Context popup.
inline const QString kPresetSwitchContextRequestedNotification = QStringLiteral("pierlinePresetSwitchContextRequested");

// User-info keys of the switch-context request; each is present only when known (the new name
// always is). Ids are QUuid values, names QStrings.
struct LastContextNotificationKeys {
    static inline const QString previousPresetID = QStringLiteral("previousPresetID");
    static inline const QString previousPresetName = QStringLiteral("previousPresetName");
    static inline const QString newPresetID = QStringLiteral("newPresetID");
    static inline const QString newPresetName = QStringLiteral("newPresetName");
};

} // namespace pierline
