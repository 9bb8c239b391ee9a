#include "MessageBoxAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace pierline {

AlertResponse MessageBoxAlertPresenter::runModal(const AlertContent& content) {
    // The modal loop delivers other requests; a second box on top of the first is refused.
    if (open_)
        return AlertResponse::Cancel;
    open_ = true;
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
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    open_ = false;
    return box.clickedButton() == confirm ? AlertResponse::Confirm : AlertResponse::Cancel;
}

} // namespace pierline
