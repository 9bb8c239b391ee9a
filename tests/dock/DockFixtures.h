#pragma once

#include "platform/Plist.h"
#include "support/TempHome.h"

#include <QFile>
#include <QTemporaryDir>
#include <QVariantMap>
#include <plist/plist.h>

// Builders for Dock domains as the Dock stores them, and a way to write them where the
// emulated `defaults` reads them.
namespace pierline::test::dock {

inline QVariantMap appTile(const QString& url) {
    return QVariantMap{
        {"tile-type", "file-tile"},
        {"tile-data", QVariantMap{{"file-data", QVariantMap{{"_CFURLString", url}, {"_CFURLStringType", qint64(15)}}},
                                  {"file-label", url.section('/', -2, -2)}}}};
}
inline QVariantMap spacerTile() {
    return {{"tile-type", "spacer-tile"}, {"tile-data", QVariantMap()}};
}
inline QVariantMap smallSpacerTile() {
    return {{"tile-type", "small-spacer-tile"}, {"tile-data", QVariantMap()}};
}

inline QVariantMap folderTile(const QString& url, const QVariant& displayas, const QVariant& showas,
                              const QVariant& arrangement) {
    QVariantMap data{{"file-data", QVariantMap{{"_CFURLString", url}, {"_CFURLStringType", qint64(15)}}},
                     {"file-label", url.section('/', -2, -2)}};
    if (displayas.isValid())
        data.insert("displayas", displayas);
    if (showas.isValid())
        data.insert("showas", showas);
    if (arrangement.isValid())
        data.insert("arrangement", arrangement);
    return {{"tile-type", "directory-tile"}, {"tile-data", data}};
}
inline QVariantMap fileTile(const QString& url, const QString& label) {
    return {
        {"tile-type", "file-tile"},
        {"tile-data", QVariantMap{{"file-data", QVariantMap{{"_CFURLString", url}, {"_CFURLStringType", qint64(15)}}},
                                  {"file-label", label}}}};
}
inline QVariantMap urlTile(const QString& address, const QString& label) {
    return {{"tile-type", "url-tile"},
            {"tile-data", QVariantMap{{"url", QVariantMap{{"_CFURLString", address}, {"_CFURLStringType", qint64(15)}}},
                                      {"label", label}}}};
}

inline QVariantMap domain(const QVariantList& apps, const QVariantList& others) {
    return {{"persistent-apps", apps}, {"persistent-others", others}, {"tilesize", qint64(48)}, {"autohide", false}};
}

inline QByteArray xmlPlist(const QVariant& value) {
    return plistToXml(value).value_or(QByteArray());
}

// The binary form of a value, through the XML form.
inline QByteArray binaryPlist(const QVariant& value) {
    const QByteArray xml = xmlPlist(value);
    plist_t node = nullptr;
    plist_from_xml(xml.constData(), static_cast<uint32_t>(xml.size()), &node);
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &bin, &length);
    QByteArray out(bin, static_cast<qsizetype>(length));
    plist_to_bin_free(bin);
    plist_free(node);
    return out;
}

inline void writeDockDomain(const TempHome& home, const QByteArray& bytes) {
    home.write(QStringLiteral("Library/Preferences/com.apple.dock.plist"), bytes);
}

// A tools folder with one stand-in `defaults` script, used instead of the emulated tool for
// outputs that the real one never produces. The previous tools folder comes back afterwards.
class FakeDefaults {
public:
    explicit FakeDefaults(const QByteArray& shellBody) {
        previous_ = qgetenv("PIERLINE_TOOLS_DIR");
        hadPrevious_ = qEnvironmentVariableIsSet("PIERLINE_TOOLS_DIR");
        QFile script(dir_.filePath(QStringLiteral("defaults")));
        if (script.open(QIODevice::WriteOnly))
            script.write("#!/bin/sh\n" + shellBody + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PIERLINE_TOOLS_DIR", dir_.path().toUtf8());
    }
    ~FakeDefaults() {
        if (hadPrevious_)
            qputenv("PIERLINE_TOOLS_DIR", previous_);
        else
            qunsetenv("PIERLINE_TOOLS_DIR");
    }
    FakeDefaults(const FakeDefaults&) = delete;
    FakeDefaults& operator=(const FakeDefaults&) = delete;

    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

} // namespace pierline::test::dock
