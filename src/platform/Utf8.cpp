#include "Utf8.h"

#include <QStringDecoder>

namespace pierline {

std::optional<QString> decodeUtf8(const QByteArray& bytes) {
    // Stateless, so a truncated sequence at the end counts as an error instead of being kept.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace pierline
