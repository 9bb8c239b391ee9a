#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace pierline {

// One string-list key of a GSettings schema, read and written through GIO in this process.
// `path` is empty for a schema with a fixed path, else the path of a relocatable schema.
struct GSettingsList {
    const char* schema;
    const char* key;
    QString path;
    const char* package; // the Debian package that installs the schema, named in the error
};

// Why the key cannot be used (schema missing, no backend that keeps changes, no session bus
// for dconf); nullopt when it can.
std::optional<QString> gsettingsProblem(const GSettingsList& list);

// Errors throw DockTargetError.
QStringList readGSettingsList(const GSettingsList& list);
// Synced before it returns: the dock and the next reader see the change only once the backend has it.
void writeGSettingsList(const GSettingsList& list, const QStringList& values);

} // namespace pierline
