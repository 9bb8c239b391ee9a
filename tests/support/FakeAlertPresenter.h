#pragma once

#include "platform/AlertPresenter.h"

#include <deque>
#include <functional>
#include <vector>

namespace pierline::test {

// An alert presenter that answers from a script: each confirmation takes the next scripted
// answer (Cancel once the script is empty), each message the next scripted button (the first
// once empty). `whileOpen` runs inside the modal call, as the user's other key presses would
// while the box is on screen. Installs itself as the shared presenter.
class FakeAlertPresenter : public AlertPresenter {
public:
    FakeAlertPresenter() { AlertPresenter::setShared(this); }
    ~FakeAlertPresenter() override { AlertPresenter::setShared(nullptr); }

    void nextAnswer(AlertResponse response) { answers_.push_back(response); }
    void nextButton(int index) { buttons_.push_back(index); }

    AlertResponse runModal(const AlertContent& content) override {
        shown.push_back(content);
        open_.append(content.messageText);
        if (whileOpen)
            whileOpen();
        open_.removeLast();
        if (answers_.empty())
            return AlertResponse::Cancel;
        const AlertResponse answer = answers_.front();
        answers_.pop_front();
        return answer;
    }

    int runMessage(const AlertMessage& message) override {
        messages.push_back(message);
        open_.append(message.messageText);
        if (whileOpen)
            whileOpen();
        open_.removeLast();
        if (buttons_.empty())
            return 0;
        const int index = buttons_.front();
        buttons_.pop_front();
        return index;
    }

    QStringList openBoxes() const override { return open_; }

    std::vector<AlertContent> shown;
    std::vector<AlertMessage> messages;
    std::function<void()> whileOpen;

private:
    std::deque<AlertResponse> answers_;
    std::deque<int> buttons_;
    QStringList open_;
};

} // namespace pierline::test
