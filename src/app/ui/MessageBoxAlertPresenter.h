#pragma once

#include "platform/AlertPresenter.h"

#include <QStringList>
#include <mutex>

class QMessageBox;

namespace pierline {

// The boxes of the app with a window system: QMessageBoxes raised in front of every window.
// Needs a QApplication.
class MessageBoxAlertPresenter : public AlertPresenter {
public:
    AlertResponse runModal(const AlertContent& content) override;
    int runMessage(const AlertMessage& message) override;
    QStringList openBoxes() const override;

private:
    // Shows `box` until it is answered or the app quits, listed as open meanwhile.
    void exec(QMessageBox& box, const QString& text);

    bool confirmationOpen_ = false;
    mutable std::mutex mutex_;
    QStringList open_;
};

} // namespace pierline
