#pragma once

#include "apply/DockManager.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <optional>

namespace pierline {

inline const QString kDeepLinkScheme = QStringLiteral("pierline");
inline const QString kDeepLinkErrorTitle = QStringLiteral("Deep Link Error");
inline const QString kDeepLinkErrorButton = QStringLiteral("OK");

// --- Reading a link's text. QUrl lower-cases the scheme and the host; links compare both exactly,
// so these read them from the text itself.

// The scheme as written: the text before the first ":", when it is a scheme's letters.
std::optional<QString> rawScheme(const QString& link);
// The host as written: the text after "scheme://" up to the path, query or fragment; nullopt for
// a link without "//" or with an empty host.
std::optional<QString> rawHost(const QString& link);
// Strict percent-decoding: nullopt for a "%" without two hex digits or bytes that are not UTF-8.
std::optional<QString> percentDecodedStrictly(const QString& text);

// What a switch link's query names: the identifier wins over the name.
struct SwitchQuery {
    std::optional<QUuid> id;
    std::optional<QString> name; // set only without a usable id
    bool empty() const { return !id && !name; }
};
// nullopt: the link does not parse into components.
std::optional<SwitchQuery> parseSwitchQuery(const QString& link);
// The download address of an import link; nullopt when it has none that forms a URL.
std::optional<QUrl> parseImportQuery(const QString& link);

// What became of one link handed to the handler.
struct DeepLinkOutcome {
    enum class Kind { Ignored, Rejected, Switching, Import, Open };
    Kind kind = Kind::Ignored;
    QString message;                           // Rejected: the text of its error; Ignored: the log line
    QString presetName;                        // Switching
    std::optional<QFuture<ApplyHandle>> apply; // Switching: the apply entry's run, not awaited here
    std::optional<QUrl> download;              // Import
    bool rejected() const { return kind == Kind::Ignored || kind == Kind::Rejected; }
};

// The platform's URL hand-off: dispatches each pierline:// link to its action. Rejections are
// printed as warnings (the caller's stderr) and passed to `showError`; nothing is written for a
// rejected link. Main thread: fetches run on the store's main context.
class DeepLinkHandler {
public:
    struct Ports {
        // The "Deep Link Error" box; empty in a command-line process, which never shows one.
        std::function<void(const QString& message)> showError;
        // Called from the main queue.
        std::function<void(const QUrl& download)> openImportWizard;
        std::function<void()> showMainWindow;
        // Whether the store's main context can be fetched from.
        std::function<bool()> storeReady;
    };

    explicit DeepLinkHandler(Ports ports);

    // application(_:open:): every link in order. `afterEach` (optional) runs after each link, before
    // the next one is looked at: a command-line run waits there for the link's apply.
    QList<DeepLinkOutcome> openUrls(const QStringList& links,
                                    const std::function<void(const DeepLinkOutcome&)>& afterEach = {});
    DeepLinkOutcome handleDeepLink(const QString& link);

private:
    DeepLinkOutcome reject(const QString& message);
    DeepLinkOutcome switchAction(const QString& link);
    DeepLinkOutcome importAction(const QString& link);
    DeepLinkOutcome openAction();
    DeepLinkOutcome applyPresetFromDeepLink(const DockPresetPtr& preset, const QString& name);

    Ports ports_;
};

} // namespace pierline
