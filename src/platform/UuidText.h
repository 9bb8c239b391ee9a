#pragma once

#include <QString>
#include <QUuid>

namespace pierline {

// The one text form of an identifier in user defaults, the store and messages: upper case,
// no braces, as Foundation writes a UUID.
inline QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

} // namespace pierline
