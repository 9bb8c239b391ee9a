#pragma once

#include "platform/AlertPresenter.h"

namespace pierline {

// The confirmation box of the app with a window system: a QMessageBox raised in front of every
// window. Needs a QApplication.
class MessageBoxAlertPresenter : public AlertPresenter {
public:
    AlertResponse runModal(const AlertContent& content) override;

private:
    bool open_ = false;
};

} // namespace pierline
