// Arbitrary bytes as a link handed to Pierline: its scheme and host as written, the switch and
// import queries, and the strict percent-decoding of names.
#include "triggers/DeepLinks.h"

#include <QUrl>

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString link = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const auto scheme = rawScheme(link);
    if (scheme && (scheme->isEmpty() || !link.startsWith(*scheme + QLatin1Char(':'))))
        std::abort();
    if (const auto host = rawHost(link)) {
        if (host->isEmpty() || host->contains(QLatin1Char('/')) || host->contains(QLatin1Char('?')) ||
            host->contains(QLatin1Char('#')) || !scheme)
            std::abort();
    }
    if (const auto query = parseSwitchQuery(link)) {
        if (query->id && (query->id->isNull() || query->name))
            std::abort(); // an id is final
        if (query->name && query->name->isEmpty())
            std::abort();
    }
    if (const auto download = parseImportQuery(link)) {
        if (!download->isValid() || download->isRelative())
            std::abort();
    }

    // Encoded text decodes back to itself; decoding never crashes on the rest.
    const QString encoded = QString::fromLatin1(link.toUtf8().toPercentEncoding());
    if (percentDecodedStrictly(encoded) != link)
        std::abort();
    (void)percentDecodedStrictly(link);
    return 0;
}
