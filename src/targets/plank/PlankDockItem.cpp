// GLib first: its headers use `signals` as a name, which Qt defines as a macro.
#include <glib.h>

#include "PlankDockItem.h"

#include "targets/DockTargetError.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <memory>

namespace pierline::PlankDockItem {
namespace {

const char* const kGroup = "PlankDockItemPreferences";
const char* const kLauncher = "Launcher";

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};

} // namespace

QString readLauncher(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw DockTargetError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()).toStdString());
    const QByteArray bytes = file.readAll();
    // Plank reads these with GKeyFile; reading them the same way agrees on what is malformed.
    std::unique_ptr<GKeyFile, KeyFileFree> keys(g_key_file_new());
    GError* error = nullptr;
    if (!g_key_file_load_from_data(keys.get(), bytes.constData(), static_cast<gsize>(bytes.size()), G_KEY_FILE_NONE,
                                   &error)) {
        const QString message = QString::fromUtf8(error->message);
        g_clear_error(&error);
        throw DockTargetError(QStringLiteral("%1 is not a dock item: %2").arg(path, message).toStdString());
    }
    gchar* value = g_key_file_get_string(keys.get(), kGroup, kLauncher, nullptr);
    const QString launcher = value ? QString::fromUtf8(value).trimmed() : QString();
    g_free(value);
    if (launcher.isEmpty())
        throw DockTargetError(QStringLiteral("%1 has no Launcher in its [%2] group")
                                  .arg(path, QString::fromLatin1(kGroup))
                                  .toStdString());
    return launcher;
}

QByteArray text(const QString& launcher) {
    // An encoded URI holds none of the characters a key file would escape.
    return QByteArray("[") + kGroup + "]\n" + kLauncher + "=" + launcher.toUtf8() + "\n";
}

QString launcherOfPath(const QString& path) {
    return QString::fromUtf8(QUrl::fromLocalFile(QDir::cleanPath(path)).toEncoded());
}

} // namespace pierline::PlankDockItem
