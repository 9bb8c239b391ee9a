#pragma once

#include <QString>
#include <memory>

namespace pierline {

// The texts of a confirmation box; the confirm button comes first. An empty cancel title makes a
// message with one button, whose answer is Confirm.
struct AlertContent {
    QString messageText;
    QString informativeText;
    QString confirmButtonTitle;
    QString cancelButtonTitle;
};

enum class AlertResponse { Confirm, Cancel };

// A modal confirmation box raised in front of every other window. Main thread only; the call
// returns when the user has chosen. One box at a time: a request made while one is open is
// answered Cancel without showing anything.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual AlertResponse runModal(const AlertContent& content) = 0;

    static AlertPresenter& shared();
    static void setShared(AlertPresenter* presenter); // nullptr restores the headless presenter
};

// For a process without a window system: shows nothing, logs the question and answers Cancel,
// so nothing that asks first ever happens unasked.
std::unique_ptr<AlertPresenter> createHeadlessAlertPresenter();

} // namespace pierline
