#include "LinkService.h"

#include "platform/AlertPresenter.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "store/DockPresetManager.h"

#include <atomic>

namespace pierline {
namespace {

std::atomic<LinkService*> g_current{nullptr};

} // namespace

LinkService::LinkService() {
    DeepLinkHandler::Ports ports;
    ports.showError = [this](const QString& message) { showError(message); };
    ports.openImportWizard = [this](const QUrl& download) {
        if (windows_.openImportWizard)
            windows_.openImportWizard(download);
        else
            printWarning(QStringLiteral("This Pierline has no import wizard window; use `pierline import %1`")
                             .arg(download.toString()));
    };
    ports.showMainWindow = [this] {
        if (windows_.showMainWindow)
            windows_.showMainWindow();
        else
            printWarning(QStringLiteral("This Pierline has no main window to show"));
    };
    ports.storeReady = [] { return DockPresetManager::existing() != nullptr; };
    handler_ = std::make_unique<DeepLinkHandler>(std::move(ports));
}

LinkService::~LinkService() {
    stop();
}

LinkService* LinkService::current() {
    return g_current.load();
}

void LinkService::start() {
    g_current.store(this);
}

void LinkService::stop() {
    LinkService* self = this;
    g_current.compare_exchange_strong(self, nullptr);
}

void LinkService::setWindows(Windows windows) {
    runOnMainSync([&] { windows_ = std::move(windows); });
}

QList<DeepLinkOutcome> LinkService::open(const QStringList& links) {
    return runOnMainSyncResult([&] { return handler_->openUrls(links); });
}

void LinkService::showError(const QString& message) {
    // Queued: the caller that handed the link in gets its answer before the box blocks anything.
    runOnMainAsync([this, alive = std::weak_ptr<int>(lifetime_), message] {
        if (alive.expired())
            return;
        pendingErrors_.append(message);
        if (!showingErrors_)
            showPendingErrors();
    });
}

void LinkService::showPendingErrors() {
    showingErrors_ = true;
    // The box's modal loop keeps serving requests; errors they raise wait here for their turn.
    while (!pendingErrors_.isEmpty()) {
        const QString message = pendingErrors_.takeFirst();
        AlertPresenter::shared().runModal({kDeepLinkErrorTitle, message, kDeepLinkErrorButton, QString()});
    }
    showingErrors_ = false;
}

} // namespace pierline
