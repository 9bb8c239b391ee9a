// Arbitrary bytes from a local-socket peer, in arbitrary chunks: the decoder must cut them into
// frames or fail with a reason, and every request it accepts must survive a round trip.
#include "app/instance/Frame.h"
#include "app/instance/Messages.h"

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the chunk size, so frames split at every position get tried.
    const size_t chunk = 1 + data[0] % 64;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    FrameDecoder decoder;
    for (qsizetype at = 0; at < bytes.size(); at += static_cast<qsizetype>(chunk)) {
        decoder.feed(bytes.mid(at, static_cast<qsizetype>(chunk)));
        while (auto frame = decoder.next()) {
            if (frame->payload.size() > static_cast<qsizetype>(frame::kMaxPayload))
                std::abort();
            auto request = CommandRequest::fromPayload(frame->payload);
            if (const auto* parsed = std::get_if<CommandRequest>(&request)) {
                auto again = CommandRequest::fromPayload(parsed->toPayload());
                const auto* second = std::get_if<CommandRequest>(&again);
                if (!second || second->arguments != parsed->arguments || second->workingFolder != parsed->workingFolder)
                    std::abort();
            }
            auto reply = CommandReply::fromPayload(frame->payload);
            if (const auto* parsed = std::get_if<CommandReply>(&reply)) {
                auto again = CommandReply::fromPayload(parsed->toPayload());
                const auto* second = std::get_if<CommandReply>(&again);
                if (!second || second->standardOutput != parsed->standardOutput)
                    std::abort();
            }
        }
        if (decoder.failed()) {
            if (decoder.error().isEmpty() || decoder.next())
                std::abort();
            break;
        }
    }
    return 0;
}
