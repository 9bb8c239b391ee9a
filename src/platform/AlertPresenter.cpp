#include "AlertPresenter.h"

#include "Log.h"

#include <atomic>

namespace pierline {
namespace {

class HeadlessAlertPresenter : public AlertPresenter {
public:
    AlertResponse runModal(const AlertContent& content) override {
        if (content.cancelButtonTitle.isEmpty()) {
            printWarning(QStringLiteral("No window system to show \"%1\": %2")
                             .arg(content.messageText, content.informativeText));
            return AlertResponse::Confirm;
        }
        printWarning(QStringLiteral("No window system to ask \"%1\"; answered %2")
                         .arg(content.messageText, content.cancelButtonTitle));
        return AlertResponse::Cancel;
    }
    int runMessage(const AlertMessage& message) override {
        printWarning(QStringLiteral("No window system to show \"%1\"; answered %2")
                         .arg(message.messageText, message.buttons.value(0)));
        return 0;
    }
    QStringList openBoxes() const override { return {}; }
};

std::atomic<AlertPresenter*> g_presenter{nullptr};

} // namespace

std::unique_ptr<AlertPresenter> createHeadlessAlertPresenter() {
    return std::make_unique<HeadlessAlertPresenter>();
}

AlertPresenter& AlertPresenter::shared() {
    static AlertPresenter* const headless = createHeadlessAlertPresenter().release();
    AlertPresenter* injected = g_presenter.load();
    return injected ? *injected : *headless;
}

void AlertPresenter::setShared(AlertPresenter* presenter) {
    g_presenter.store(presenter);
}

} // namespace pierline
