// Arbitrary bytes as the output of `PlistBuddy -c Print`, read line by line for a web app's start
// URL: whatever a line gives is a web address taken from that line.
#include "exchange/InfoPlistReader.h"

#include <QStringList>

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        const auto url = InfoPlistReader::urlFromLine(trimmed);
        if (!url)
            continue;
        const bool webAddress = url->startsWith(QLatin1String("http://")) || url->startsWith(QLatin1String("https://"));
        if (!webAddress || !trimmed.contains(*url))
            std::abort();
    }
    return 0;
}
