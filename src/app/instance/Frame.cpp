#include "Frame.h"

#include <QtEndian>

namespace pierline {

QByteArray encodeFrame(FrameKind kind, const QByteArray& payload) {
    QByteArray bytes(frame::kHeaderSize, Qt::Uninitialized);
    auto* header = reinterpret_cast<uchar*>(bytes.data());
    qToBigEndian<quint32>(frame::kMagic, header);
    qToBigEndian<quint16>(frame::kVersion, header + 4);
    qToBigEndian<quint16>(static_cast<quint16>(kind), header + 6);
    qToBigEndian<quint32>(static_cast<quint32>(payload.size()), header + 8);
    return bytes + payload;
}

void FrameDecoder::feed(const QByteArray& bytes) {
    if (!failed())
        buffer_.append(bytes);
}

qsizetype FrameDecoder::wanted() const {
    if (failed())
        return 0;
    if (buffer_.size() < frame::kHeaderSize)
        return frame::kHeaderSize - buffer_.size();
    const quint32 length = qFromBigEndian<quint32>(reinterpret_cast<const uchar*>(buffer_.constData()) + 8);
    return frame::kHeaderSize + static_cast<qsizetype>(qMin(length, frame::kMaxPayload)) - buffer_.size();
}

std::optional<Frame> FrameDecoder::next() {
    if (failed() || buffer_.size() < frame::kHeaderSize)
        return std::nullopt;
    const auto* header = reinterpret_cast<const uchar*>(buffer_.constData());
    const quint32 magic = qFromBigEndian<quint32>(header);
    const quint16 version = qFromBigEndian<quint16>(header + 4);
    const quint16 kind = qFromBigEndian<quint16>(header + 6);
    const quint32 length = qFromBigEndian<quint32>(header + 8);
    if (magic != frame::kMagic)
        error_ = QStringLiteral("bad magic number 0x%1").arg(magic, 8, 16, QLatin1Char('0'));
    else if (version != frame::kVersion)
        error_ = QStringLiteral("unsupported protocol version %1").arg(version);
    else if (kind < static_cast<quint16>(FrameKind::Request) || kind > static_cast<quint16>(FrameKind::KeepAlive))
        error_ = QStringLiteral("unknown frame kind %1").arg(kind);
    else if (length > frame::kMaxPayload)
        error_ = QStringLiteral("frame of %1 bytes is over the limit of %2").arg(length).arg(frame::kMaxPayload);
    if (failed()) {
        buffer_.clear();
        return std::nullopt;
    }
    if (buffer_.size() - frame::kHeaderSize < static_cast<qsizetype>(length))
        return std::nullopt;
    Frame frame{static_cast<FrameKind>(kind), buffer_.mid(frame::kHeaderSize, length)};
    buffer_.remove(0, frame::kHeaderSize + length);
    return frame;
}

} // namespace pierline
