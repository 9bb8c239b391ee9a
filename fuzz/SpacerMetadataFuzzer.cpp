// Arbitrary bytes as a spacer bundle's metadata file: it decodes or names its fault, and what
// decodes encodes back to itself.
#include "spacers/CustomSpaceService.h"

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto decoded = CustomSpaceMetadata::fromJson(bytes);
    if (!decoded.metadata) {
        if (decoded.error.isEmpty())
            std::abort();
        return 0;
    }
    const auto again = CustomSpaceMetadata::fromJson(decoded.metadata->toJson());
    if (!again.metadata || again.metadata->toJson() != decoded.metadata->toJson())
        std::abort();
    return 0;
}
