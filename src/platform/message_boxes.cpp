#include "platform/message_boxes.h"

#include <QCoreApplication>
#include <QMessageBox>

MessageBoxes::MessageBoxes(QWidget* owner) : owner_(owner) {}

MessageBoxes::~MessageBoxes() {
    for (const QPointer<QMessageBox>& box : open_) {
        delete box.data();
    }
}

void MessageBoxes::message(const QString& text, const QString& title) {
    // A box answered a moment ago may not be deleted yet; it is no longer open.
    open_.removeIf(
        [](const QPointer<QMessageBox>& box) { return box.isNull() || !box->isVisible(); });
    // Compared as shown: a box asked for without a title carries the program's.
    const QString shownTitle = title.isEmpty() ? QCoreApplication::applicationName() : title;
    for (const QPointer<QMessageBox>& box : open_) {
        if (box->text() == text && box->windowTitle() == shownTitle) {
            return;
        }
    }
    auto* box = new QMessageBox(QMessageBox::NoIcon, shownTitle, text, QMessageBox::Ok, owner_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Modeless (a message box is application-modal when made, and open()
    // would make it window-modal): a box waiting for its OK must never stand
    // between the operator and the output or run button.
    box->setWindowModality(Qt::NonModal);
    open_.append(box);
    box->show();
}
