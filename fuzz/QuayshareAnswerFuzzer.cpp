// Arbitrary bytes as the sharing service's answer to a preset upload: either a refusal that says
// why, or an answer whose fields are exactly what the JSON holds.
#include "core/QuayshareAPIClient.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <cstdlib>

using namespace pierline;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QuayshareUploadResponse response;
    try {
        response = QuayshareUploadResponse::decode(bytes);
    } catch (const QuayshareAPIError& error) {
        if (error.description().isEmpty())
            std::abort(); // a refusal always says why
        return 0;
    }
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    if (object.value(QLatin1String("success")).toBool() != response.success)
        std::abort();
    if (response.isNewUser.has_value() != object.value(QLatin1String("isNewUser")).isBool())
        std::abort();
    if (response.tempLoginUrl && *response.tempLoginUrl != object.value(QLatin1String("tempLoginUrl")).toString())
        std::abort();
    return 0;
}
