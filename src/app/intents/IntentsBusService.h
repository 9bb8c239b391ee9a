#pragma once

#include <QDBusArgument>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>

namespace pierline {

// One row of ListPresets: (idString, name).
struct BusPreset {
    QString id;
    QString name;
};

// The intents and Focus filters on the session bus, as com.corvane.pierline at
// /com/corvane/pierline. Calls arrive on the main thread; applies are waited for on a pool thread,
// which sends the reply.
class IntentsBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.corvane.pierline.Intents")

public:
    static inline const char* kServiceName = "com.corvane.pierline";
    static inline const char* kObjectPath = "/com/corvane/pierline";
    static inline const char* kPresetNotFoundError = "com.corvane.pierline.Error.PresetNotFound";
    static inline const char* kApplyFailedError = "com.corvane.pierline.Error.ApplyFailed";

    // Claims the name; without a bus, or when another process holds it, says so and offers nothing.
    void start();
    void stop();

public slots:
    QList<BusPreset> ListPresets();
    QString RunPreset(const QString& id, const QString& name);
    void ActivateFocus(const QString& mode);

private:
    bool registered_ = false;
    bool claimed_ = false;
};

} // namespace pierline

Q_DECLARE_METATYPE(pierline::BusPreset)

QDBusArgument& operator<<(QDBusArgument& argument, const pierline::BusPreset& preset);
const QDBusArgument& operator>>(const QDBusArgument& argument, pierline::BusPreset& preset);
