#pragma once

#include <QString>

namespace pierline {

// A short transient message: a window shows it for a moment, the command line prints it
// (successes as the answer, failures as errors).
struct Toast {
    QString message;
    bool success = true;
};

// Where an editor's toasts go. Main thread only.
class ToastPresenter {
public:
    virtual ~ToastPresenter() = default;
    virtual void showToast(const Toast& toast) = 0;
};

} // namespace pierline
