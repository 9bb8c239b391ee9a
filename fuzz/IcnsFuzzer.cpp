// Arbitrary bytes as an icon file: the reader gives its elements or an error, and the largest PNG
// it picks is one of the elements, byte for byte.
#include "platform/Icns.h"

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const auto elements = icns::read(bytes, &error);
    const auto largest = icns::largestPng(bytes);
    if (!elements) {
        if (error.isEmpty() || largest)
            std::abort();
        return 0;
    }
    if (icns::write(*elements) != bytes)
        std::abort(); // every byte belongs to an element, so writing them gives the file back
    if (largest) {
        bool found = false;
        for (const icns::Element& element : *elements)
            found |= element.data == *largest;
        if (!found || !icns::pngSize(*largest))
            std::abort();
    }
    return 0;
}
