#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

namespace pierline {

// Property lists as Qt values: dict -> QVariantMap, array -> QVariantList, string -> QString,
// boolean -> bool, integer -> qint64, real -> double, date -> QDateTime (UTC), data -> QByteArray.
struct PlistParseResult {
    std::optional<QVariant> value; // set on success
    QString error;                 // set on failure
};

// Parses XML or binary plist bytes.
PlistParseResult parsePlist(const QByteArray& bytes);

// Serialises a value as an XML plist; nullopt when a value has no plist form.
std::optional<QByteArray> plistToXml(const QVariant& value, QString* error = nullptr);

} // namespace pierline
