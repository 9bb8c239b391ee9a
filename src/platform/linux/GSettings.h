#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace pierline {

// One key of a GSettings schema, read and written through GIO in this process (GIO lives in the
// desktop module; without it every call fails with the module's reason).
struct GSettingsKey {
    QString schema;
    QString key;
    QString path;    // empty for a schema with a fixed path, else where the relocatable schema is used
    QString package; // the Debian package that installs the schema, named in the error
};

// A key that cannot be read or written; the message says why, and what to install where that helps.
struct GSettingsError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Why `key` cannot be used (schema missing or of the wrong kind, a bad path, no backend that keeps
// changes, no session bus for dconf); nullopt when it can.
std::optional<QString> gsettingsProblem(const GSettingsKey& key);
// As gsettingsProblem, and also when the key is locked against writes.
std::optional<QString> gsettingsWriteProblem(const GSettingsKey& key);

// A path GSettings accepts for a relocatable schema: "/a/b/", no empty parts.
bool isGSettingsPath(const QString& path);

// Reads throw GSettingsError. Writes too, and are synced before they return: the desktop and the
// next reader see a change only once the backend has it. A value already stored is not written again.
QStringList readGSettingsList(const GSettingsKey& key);
void writeGSettingsList(const GSettingsKey& key, const QStringList& values);
QString readGSettingsString(const GSettingsKey& key);
bool readGSettingsBoolean(const GSettingsKey& key);
void writeGSettingsString(const GSettingsKey& key, const QString& value);
// Back to the schema's default, which leaves nothing of ours in the backend.
void resetGSettingsKey(const GSettingsKey& key);

// While alive, calls `changed` from the main loop of the thread that made it each time the key
// changes, in this process or another. Made with watchGSettingsKey.
class GSettingsWatch {
public:
    virtual ~GSettingsWatch() = default;
    GSettingsWatch(const GSettingsWatch&) = delete;
    GSettingsWatch& operator=(const GSettingsWatch&) = delete;

protected:
    GSettingsWatch() = default;
};
// Throws GSettingsError as the reads do.
std::unique_ptr<GSettingsWatch> watchGSettingsKey(const GSettingsKey& key, std::function<void()> changed);

} // namespace pierline
