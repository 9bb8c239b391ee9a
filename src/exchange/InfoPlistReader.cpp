#include "InfoPlistReader.h"

#include "platform/ProcessRunner.h"
#include "platform/SystemPaths.h"
#include "platform/Utf8.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace pierline {
namespace {

QString describe(InfoPlistError::Kind kind, const QString& message) {
    switch (kind) {
    case InfoPlistError::Kind::PlistReadError:
        return QStringLiteral("Failed to read Info.plist: %1").arg(message);
    case InfoPlistError::Kind::BundleNotFound:
        return QStringLiteral("App bundle not found");
    case InfoPlistError::Kind::PlistNotFound:
        return QStringLiteral("Info.plist not found in app bundle");
    case InfoPlistError::Kind::UrlExtractionFailed:
        return QStringLiteral("Could not extract a URL from Info.plist");
    }
    return {};
}

bool isWebAddress(const QString& text) {
    return text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://"));
}

} // namespace

InfoPlistError::InfoPlistError(Kind kind, QString message)
    : std::runtime_error(describe(kind, message).toStdString()), kind_(kind), message_(std::move(message)),
      description_(describe(kind, message_)) {}

std::optional<QString> InfoPlistReader::urlFromLine(const QString& line) {
    // A "key = address" line whose value is not an address falls through to the other forms.
    if (line.contains(QLatin1Char('=')) &&
        (line.contains(QLatin1String("http://")) || line.contains(QLatin1String("https://")))) {
        const QStringList parts = line.split(QLatin1Char('='), Qt::SkipEmptyParts);
        if (parts.size() >= 2) {
            const QString value = parts.at(1).trimmed();
            if (isWebAddress(value))
                return value;
        }
    }
    if (isWebAddress(line))
        return line;
    static const QRegularExpression quotedAddress(QStringLiteral(R"re("(https?://[^"]+)")re"));
    const QRegularExpressionMatch match = quotedAddress.match(line);
    if (match.hasMatch())
        return match.captured(1);
    return std::nullopt;
}

std::optional<QString> InfoPlistReader::readWebAppURL(const QString& bundlePath) {
    if (!QFileInfo::exists(bundlePath))
        throw InfoPlistError(InfoPlistError::Kind::BundleNotFound);
    const QString plist = bundlePath + QStringLiteral("/Contents/Info.plist");
    if (!QFileInfo::exists(plist))
        throw InfoPlistError(InfoPlistError::Kind::PlistNotFound);
    const ProcessResult result = runProcessMerged(SystemPaths::toolPath(QStringLiteral("PlistBuddy")),
                                                  {QStringLiteral("-c"), QStringLiteral("Print"), plist});
    const QString output = decodeUtf8(result.stdoutData).value_or(QString());
    if (result.exitStatus != 0) {
        // A child that never started (or died) has its reason in the error text.
        const QString reason =
            output.isEmpty() ? decodeUtf8(result.stderrData).value_or(QString()).trimmed() : output.trimmed();
        throw InfoPlistError(InfoPlistError::Kind::PlistReadError, reason);
    }
    for (const QString& line : output.split(QLatin1Char('\n'))) {
        if (const auto url = urlFromLine(line.trimmed()))
            return url;
    }
    return std::nullopt;
}

} // namespace pierline
