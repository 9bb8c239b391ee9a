#pragma once

#include <QString>
#include <QStringList>
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

// A message box: its texts and its buttons in order, the first the default. Closing the box any
// other way (or quitting the app while it is open) answers the first button.
struct AlertMessage {
    QString messageText;
    QString informativeText;
    QStringList buttons;
};

// A modal confirmation box raised in front of every other window. Main thread only; the call
// returns when the user has chosen. One box at a time: a request made while one is open is
// answered Cancel without showing anything.
class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    virtual AlertResponse runModal(const AlertContent& content) = 0;
    // Shows a message box and returns the index of the chosen button. Main thread, from the main
    // queue: never inside a request, whose caller would wait for the user; requests go on being
    // answered while the box is open.
    virtual int runMessage(const AlertMessage& message) = 0;
    // The message texts of the boxes on screen, the oldest first. Any thread.
    virtual QStringList openBoxes() const = 0;

    static AlertPresenter& shared();
    static void setShared(AlertPresenter* presenter); // nullptr restores the headless presenter
};

// For a process without a window system: shows nothing, logs the question and answers Cancel,
// so nothing that asks first ever happens unasked.
std::unique_ptr<AlertPresenter> createHeadlessAlertPresenter();

} // namespace pierline
