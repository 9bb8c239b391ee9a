#pragma once

#include <QList>
#include <QString>

namespace pierline {

// A well-known application whose download page the import offers when it is missing.
struct PopularApp {
    QString name;        // the bundle name, compared without case
    QString downloadURL; // its download page
    QString displayName;
};

const QList<PopularApp>& popularApps();
const PopularApp* findPopularApp(const QString& appName);
// The page address with "utm_source=pierline&utm_medium=app" after "&" or "?".
QString withTrackingQuery(const QString& pageURL);

} // namespace pierline
