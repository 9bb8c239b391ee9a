// Arbitrary bytes as a spacer icon design record (a spacer's metadata, or `spacer render --design`):
// it decodes or names its fault, and what decodes encodes back to itself.
#include "spacers/CustomSpaceIconDesign.h"

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const IconConfigDecodeResult decoded = iconConfigFromJsonBytes(bytes);
    if (!decoded.config) {
        if (decoded.error.isEmpty())
            std::abort();
        return 0;
    }
    const IconConfigDecodeResult again = iconConfigFromJson(toJson(*decoded.config));
    if (!again.config || !(*again.config == *decoded.config))
        std::abort();
    return 0;
}
