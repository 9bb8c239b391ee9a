#pragma once

#include "core/DockFolderStack.h"
#include "core/DockPreset.h"

#include <QJsonObject>

namespace pierline {

// A preset as its backup record (the same keys and fallbacks) plus "idString" and "order",
// for listings and `--json` output. Absent optional values are omitted.
QJsonObject presetRecordJson(const DockPreset& preset);
QJsonObject folderStackRecordJson(const DockFolderStack& stack);
// ISO 8601 in UTC with whole seconds and "Z".
QString isoDate(const QDateTime& date);

} // namespace pierline
