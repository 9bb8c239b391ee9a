#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace pierline {

// The frames between a command-line call and the running app: a fixed header (magic number,
// version, kind, payload length) and a JSON payload.
namespace frame {
inline constexpr quint32 kMagic = 0x50524c4e; // "PRLN"
inline constexpr quint16 kVersion = 1;
inline constexpr int kHeaderSize = 12;
inline constexpr quint32 kMaxPayload = 16u * 1024u * 1024u;
} // namespace frame

// A caller sends one Request. The app answers Started when it begins to run it (a caller cut off
// before that may run it itself: it never ran), KeepAlive while it waits or runs, then Reply.
enum class FrameKind : quint16 { Request = 1, Reply = 2, Started = 3, KeepAlive = 4 };

struct Frame {
    FrameKind kind;
    QByteArray payload;
};

QByteArray encodeFrame(FrameKind kind, const QByteArray& payload);

// Collects bytes from a stream and cuts them into frames. After an error it stays failed: the
// stream cannot be resynchronised and the connection is closed.
class FrameDecoder {
public:
    void feed(const QByteArray& bytes);
    // The next complete frame, if there is one.
    std::optional<Frame> next();
    bool failed() const { return !error_.isEmpty(); }
    const QString& error() const { return error_; }
    // Bytes received that do not yet make a frame (a truncated frame when the peer is gone).
    qsizetype pending() const { return buffer_.size(); }
    // Bytes still to come before the frame under way is whole: read no more than that, so a
    // connection never holds more than one frame.
    qsizetype wanted() const;

private:
    QByteArray buffer_;
    QString error_;
};

} // namespace pierline
