#pragma once

#include "platform/Toasts.h"

#include <QStringList>
#include <vector>

namespace pierline::test {

// Keeps every toast it is shown, in order.
class FakeToastPresenter : public ToastPresenter {
public:
    void showToast(const Toast& toast) override { shown.push_back(toast); }

    QStringList messages() const {
        QStringList out;
        for (const Toast& t : shown)
            out.append(t.message);
        return out;
    }
    // The last toast's text, or empty when none was shown.
    QString last() const { return shown.empty() ? QString() : shown.back().message; }
    bool lastSucceeded() const { return !shown.empty() && shown.back().success; }

    std::vector<Toast> shown;
};

} // namespace pierline::test
