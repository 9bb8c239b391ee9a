#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace pierline {

// Strict UTF-8: nullopt for malformed bytes, including a character cut off at the end.
std::optional<QString> decodeUtf8(const QByteArray& bytes);

} // namespace pierline
