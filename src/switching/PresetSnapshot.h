#pragma once

#include "core/DockFolderStack.h"
#include "core/HarborletConfiguration.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <optional>

namespace pierline {

class DockPreset;

// A preset as one switch sees it: read from the store once, on the main thread, and handed by
// value to the writer and to every side effect, so none of them goes back to the store.
struct PresetSnapshot {
    QString name{};
    bool stored = false; // a stored preset backs it; false when only a name and lists were given
    std::optional<QUuid> id{};
    QStringList apps{};
    QList<DockFolderStackValues> items{};
    bool harborletOnlyMode = false;
    QJsonObject appActions{}; // app entry -> action record; unreadable text gives none
    std::optional<HarborletConfiguration> harborletConfiguration{};

    // Call on the main thread, where the store's objects live.
    static PresetSnapshot of(const DockPreset& preset);
};

} // namespace pierline
