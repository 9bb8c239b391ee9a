#include "MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace pierline {

void MessageBoxAlertPresenter::exec(QMessageBox& box, const QString& text) {
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    {
        std::lock_guard lock(mutex_);
        open_.append(text);
    }
    box.show();
    box.raise();
    box.activateWindow();
    // The modal loop goes on delivering the app's requests; quitting ends it like a close.
    box.exec();
    std::lock_guard lock(mutex_);
    open_.removeOne(text);
}

AlertResponse MessageBoxAlertPresenter::runModal(const AlertContent& content) {
    // A second confirmation on top of the first is refused.
    if (confirmationOpen_)
        return AlertResponse::Cancel;
    confirmationOpen_ = true;
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setText(content.messageText);
    box.setInformativeText(content.informativeText);
    QPushButton* confirm = box.addButton(content.confirmButtonTitle, QMessageBox::AcceptRole);
    QPushButton* cancel = content.cancelButtonTitle.isEmpty()
                              ? nullptr
                              : box.addButton(content.cancelButtonTitle, QMessageBox::RejectRole);
    box.setDefaultButton(confirm);
    box.setEscapeButton(cancel ? cancel : confirm);
    exec(box, content.messageText);
    confirmationOpen_ = false;
    return box.clickedButton() == confirm ? AlertResponse::Confirm : AlertResponse::Cancel;
}

int MessageBoxAlertPresenter::runMessage(const AlertMessage& message) {
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(message.messageText);
    box.setInformativeText(message.informativeText);
    QList<QAbstractButton*> buttons;
    for (const QString& title : message.buttons)
        buttons.append(box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::ActionRole));
    if (!buttons.isEmpty()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
        box.setEscapeButton(buttons.first());
    }
    exec(box, message.messageText);
    const qsizetype chosen = buttons.indexOf(box.clickedButton());
    return chosen < 0 ? 0 : static_cast<int>(chosen);
}

QStringList MessageBoxAlertPresenter::openBoxes() const {
    std::lock_guard lock(mutex_);
    return open_;
}

} // namespace pierline
