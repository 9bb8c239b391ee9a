#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pierline::test {

QString TempHome::write(const QString& relative, const QByteArray& bytes) const {
    const QString path = dir_.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

QString TempHome::makeBundle(const QString& relativeFolder, const QString& name, const QString& bundleId,
                             const QString& extraInfoPlistXml) const {
    const QString bundle = dir_.filePath(relativeFolder + QLatin1Char('/') + name + QStringLiteral(".app"));
    const QString plist = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                         "<plist version=\"1.0\"><dict>\n"
                                         "<key>CFBundleIdentifier</key><string>%1</string>\n"
                                         "<key>CFBundleName</key><string>%2</string>\n"
                                         "<key>CFBundleExecutable</key><string>%2</string>\n%3"
                                         "</dict></plist>\n")
                              .arg(bundleId.toHtmlEscaped(), name.toHtmlEscaped(), extraInfoPlistXml);
    write(relativeFolder + QLatin1Char('/') + name + QStringLiteral(".app/Contents/Info.plist"), plist.toUtf8());
    const QString exe = write(relativeFolder + QLatin1Char('/') + name + QStringLiteral(".app/Contents/MacOS/") + name,
                              "#!/bin/sh\nexec sleep 1000\n");
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QDir().mkpath(bundle + QStringLiteral("/Contents/Resources"));
    return bundle;
}

} // namespace pierline::test
