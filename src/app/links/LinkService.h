#pragma once

#include "triggers/DeepLinks.h"

#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

namespace pierline {

// The running app's side of deep links: the handler with the app's ports, and the "Deep Link
// Error" boxes, shown one after another from the main queue so none is lost while one is open.
class LinkService {
public:
    // The windows a link opens; the app's window part installs them.
    struct Windows {
        std::function<void(const QUrl& download)> openImportWizard;
        std::function<void()> showMainWindow;
    };

    LinkService();
    ~LinkService();

    // The service of the app in this process, else null (a command-line process).
    static LinkService* current();
    void start(); // becomes current()
    void stop();

    void setWindows(Windows windows);
    // Every link in order; the apply of a switch link runs on without being waited for.
    QList<DeepLinkOutcome> open(const QStringList& links);

private:
    void showError(const QString& message);
    void showPendingErrors();

    Windows windows_;
    std::unique_ptr<DeepLinkHandler> handler_;
    QStringList pendingErrors_; // main thread
    bool showingErrors_ = false;
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0); // watched by queued boxes
};

} // namespace pierline
