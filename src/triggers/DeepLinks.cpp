#include "triggers/DeepLinks.h"

#include "core/PresetRecord.h"
#include "platform/Clock.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Utf8.h"
#include "store/DockPresetManager.h"
#include "switching/PresetSnapshot.h"
#include "triggers/SwitchRequest.h"

#include <QUrlQuery>
#include <algorithm>

namespace pierline {
namespace {

const Logger& log() {
    static const Logger logger(QStringLiteral("AppDelegate"));
    return logger;
}

bool isSchemeCharacter(QChar c, bool first) {
    const char16_t u = c.unicode();
    const bool letter = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
    if (first)
        return letter;
    return letter || (u >= '0' && u <= '9') || u == '+' || u == '-' || u == '.';
}

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// The first value of the query item `key`, decoded once; nullopt when the link has no such item.
std::optional<QString> firstItem(const QUrl& url, const QString& key) {
    const QUrlQuery query(url);
    for (const auto& [name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (name == key)
            return value;
    }
    return std::nullopt;
}

std::optional<QUrl> componentsOf(const QString& link) {
    const QUrl url(link, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

QString listText(const QStringList& links) {
    return QLatin1Char('[') + links.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace

std::optional<QString> rawScheme(const QString& link) {
    const qsizetype colon = link.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    for (qsizetype i = 0; i < colon; ++i) {
        if (!isSchemeCharacter(link[i], i == 0))
            return std::nullopt;
    }
    return link.left(colon);
}

std::optional<QString> rawHost(const QString& link) {
    const auto scheme = rawScheme(link);
    if (!scheme)
        return std::nullopt;
    const qsizetype start = scheme->size() + 1;
    if (link.mid(start, 2) != QLatin1String("//"))
        return std::nullopt;
    qsizetype end = start + 2;
    while (end < link.size() && link[end] != QLatin1Char('/') && link[end] != QLatin1Char('?') &&
           link[end] != QLatin1Char('#'))
        ++end;
    QString authority = link.mid(start + 2, end - start - 2);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0)
        authority = authority.mid(at + 1);
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && !authority.contains(QLatin1Char(']')))
        authority.truncate(colon);
    if (authority.isEmpty())
        return std::nullopt;
    return authority;
}

std::optional<QString> percentDecodedStrictly(const QString& text) {
    QByteArray bytes;
    const QByteArray utf8 = text.toUtf8();
    bytes.reserve(utf8.size());
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '%') {
            bytes.append(utf8[i]);
            continue;
        }
        if (i + 2 >= utf8.size())
            return std::nullopt;
        const int high = hexValue(QLatin1Char(utf8[i + 1]));
        const int low = hexValue(QLatin1Char(utf8[i + 2]));
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return decodeUtf8(bytes);
}

std::optional<SwitchQuery> parseSwitchQuery(const QString& link) {
    const auto url = componentsOf(link);
    if (!url)
        return std::nullopt;
    SwitchQuery query;
    const auto id = firstItem(*url, QStringLiteral("id"));
    if (id && DockPresetManager::presetIdentifierKind(*id) == QLatin1String("uuid")) {
        query.id = QUuid::fromString(*id);
        return query;
    }
    // A name arrives encoded once more than the query's own encoding.
    if (const auto name = firstItem(*url, QStringLiteral("name"))) {
        const auto decoded = percentDecodedStrictly(*name);
        if (decoded && !decoded->isEmpty())
            query.name = *decoded;
    }
    return query;
}

std::optional<QUrl> parseImportQuery(const QString& link) {
    const auto url = componentsOf(link);
    if (!url)
        return std::nullopt;
    const auto value = firstItem(*url, QStringLiteral("url"));
    if (!value || value->isEmpty())
        return std::nullopt;
    const QUrl download(*value, QUrl::StrictMode);
    if (!download.isValid() || download.isRelative())
        return std::nullopt;
    return download;
}

DeepLinkHandler::DeepLinkHandler(Ports ports) : ports_(std::move(ports)) {}

QList<DeepLinkOutcome> DeepLinkHandler::openUrls(const QStringList& links,
                                                 const std::function<void(const DeepLinkOutcome&)>& afterEach) {
    log().info(QStringLiteral("Received URL(s) to open: %1").arg(listText(links)));
    QList<DeepLinkOutcome> outcomes;
    for (const QString& link : links) {
        if (rawScheme(link) == kDeepLinkScheme) {
            outcomes.append(handleDeepLink(link));
        } else {
            const QString line = QStringLiteral("Ignoring non-Pierline URL: %1").arg(link);
            log().notice(line);
            // Structured lines never reach a terminal; the caller must still learn why nothing happened.
            printWarning(line);
            outcomes.append({DeepLinkOutcome::Kind::Ignored, line, {}, {}, {}});
        }
        if (afterEach)
            afterEach(outcomes.last());
    }
    return outcomes;
}

DeepLinkOutcome DeepLinkHandler::handleDeepLink(const QString& link) {
    log().info(QStringLiteral("Processing Pierline deep link: %1").arg(link));
    const std::optional<QString> host = rawHost(link);
    if (host == QLatin1String("import"))
        return importAction(link);
    if (host == QLatin1String("switch"))
        return switchAction(link);
    if (host == QLatin1String("open"))
        return openAction();
    log().error(QStringLiteral("Unknown Pierline action: %1").arg(host.value_or(QStringLiteral("nil"))));
    return reject(QStringLiteral("Unknown action: %1").arg(host.value_or(QStringLiteral("unknown"))));
}

DeepLinkOutcome DeepLinkHandler::reject(const QString& message) {
    printWarning(message);
    if (ports_.showError)
        ports_.showError(message);
    return {DeepLinkOutcome::Kind::Rejected, message, {}, {}, {}};
}

DeepLinkOutcome DeepLinkHandler::switchAction(const QString& link) {
    if (const std::optional<QDateTime> last = DockManager::shared().lastApplyTime()) {
        const double elapsed = static_cast<double>(last->msecsTo(Clock::shared().now())) / 1000.0;
        if (elapsed < DockManager::kApplyCooldown) {
            const double remaining = std::max(0.0, DockManager::kApplyCooldown - elapsed);
            return reject(QStringLiteral("Please wait %1 seconds before switching presets")
                              .arg(QString::asprintf("%.1f", remaining)));
        }
    }
    const std::optional<SwitchQuery> query = parseSwitchQuery(link);
    if (!query)
        return reject(QStringLiteral("Invalid switch link format"));
    if (query->empty())
        return reject(QStringLiteral("Missing preset identifier. Use ?id=<uuid> or ?name=<preset-name>"));
    if (query->id) {
        if (ports_.storeReady && !ports_.storeReady())
            return reject(QStringLiteral("Application not ready"));
        const DockPresetPtr preset = DockPresetManager::shared().fetchPreset(*query->id);
        if (!preset || !preset->name())
            return reject(QStringLiteral("Preset not found"));
        return applyPresetFromDeepLink(preset, *preset->name());
    }
    const DockPresetPtr preset = DockPresetManager::shared().fetchPreset(*query->name);
    if (!preset || !preset->name())
        return reject(QStringLiteral("Preset '%1' not found").arg(*query->name));
    return applyPresetFromDeepLink(preset, *preset->name());
}

DeepLinkOutcome DeepLinkHandler::applyPresetFromDeepLink(const DockPresetPtr& preset, const QString& name) {
    const std::optional<PresetSnapshot> snapshot = runOnMainSyncResult([&]() -> std::optional<PresetSnapshot> {
        if (!tryDecodeApps(preset->apps()))
            return std::nullopt;
        return PresetSnapshot::of(*preset);
    });
    if (!snapshot)
        return reject(QStringLiteral("Failed to decode preset data"));
    log().info(QStringLiteral("Applying preset from deep link: %1").arg(name));
    DeepLinkOutcome outcome{DeepLinkOutcome::Kind::Switching, {}, name, {}, {}};
    outcome.apply = SwitchRequester::shared().start(*snapshot, SwitchOrigin::DeepLink);
    return outcome;
}

DeepLinkOutcome DeepLinkHandler::importAction(const QString& link) {
    const std::optional<QUrl> download = parseImportQuery(link);
    if (!download) {
        log().error(QStringLiteral("Invalid deep link format: %1").arg(link));
        return reject(QStringLiteral("Invalid import link format"));
    }
    log().info(QStringLiteral("Extracted download URL: %1").arg(download->toString()));
    if (ports_.openImportWizard)
        runOnMainAsync([open = ports_.openImportWizard, url = *download] { open(url); });
    DeepLinkOutcome outcome{DeepLinkOutcome::Kind::Import, {}, {}, {}, {}};
    outcome.download = *download;
    return outcome;
}

DeepLinkOutcome DeepLinkHandler::openAction() {
    log().info(QStringLiteral("Opening Pierline app via deep link"));
    if (ports_.showMainWindow)
        runOnMainAsync(ports_.showMainWindow);
    return {DeepLinkOutcome::Kind::Open, {}, {}, {}, {}};
}

} // namespace pierline
