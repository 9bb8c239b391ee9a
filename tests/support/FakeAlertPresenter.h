#pragma once

#include "platform/AlertPresenter.h"

#include <deque>
#include <functional>
#include <vector>

namespace pierline::test {

// An alert presenter that answers from a script: each box takes the next scripted answer (Cancel
// once the script is empty). `whileOpen` runs inside the modal call, as the user's other key
// presses would while the box is on screen. Installs itself as the shared presenter.
class FakeAlertPresenter : public AlertPresenter {
public:
    FakeAlertPresenter() { AlertPresenter::setShared(this); }
    ~FakeAlertPresenter() override { AlertPresenter::setShared(nullptr); }

    void nextAnswer(AlertResponse response) { answers_.push_back(response); }

    AlertResponse runModal(const AlertContent& content) override {
        shown.push_back(content);
        if (whileOpen)
            whileOpen();
        if (answers_.empty())
            return AlertResponse::Cancel;
        const AlertResponse answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    std::vector<AlertContent> shown;
    std::function<void()> whileOpen;

private:
    std::deque<AlertResponse> answers_;
};

} // namespace pierline::test
