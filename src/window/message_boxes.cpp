#include "window/message_boxes.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

MessageBoxes::MessageBoxes(QWidget* owner) : owner_(owner) {}

MessageBoxes::~MessageBoxes() {
    for (const QPointer<QMessageBox>& box : open_) {
        delete box.data();
    }
}

QMessageBox* MessageBoxes::openBox(const QString& text, const QString& title) {
    // A box answered a moment ago may not be deleted yet; it is no longer open.
    open_.removeIf(
        [](const QPointer<QMessageBox>& box) { return box.isNull() || !box->isVisible(); });
    // Compared as shown: a box asked for without a title carries the program's.
    const QString shownTitle = title.isEmpty() ? QCoreApplication::applicationName() : title;
    for (const QPointer<QMessageBox>& box : open_) {
        if (box->text() == text && box->windowTitle() == shownTitle) {
            return box.data();
        }
    }
    return nullptr;
}

void MessageBoxes::message(const QString& text, const QString& title) {
    if (openBox(text, title) != nullptr) {
        return;
    }
    const QString shownTitle = title.isEmpty() ? QCoreApplication::applicationName() : title;
    auto* box = new QMessageBox(QMessageBox::NoIcon, shownTitle, text, QMessageBox::Ok, owner_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Modeless (a message box is application-modal when made, and open()
    // would make it window-modal): a box waiting for its OK must never stand
    // between the operator and the output or run button.
    box->setWindowModality(Qt::NonModal);
    open_.append(box);
    box->show();
}

void MessageBoxes::closeMessage(const QString& text, const QString& title) {
    if (QMessageBox* box = openBox(text, title)) {
        box->close();
    }
}

void MessageBoxes::ask(const QString& text, const QString& title, std::function<void()> yes) {
    auto* box = new QMessageBox(QMessageBox::Question, title, text,
                                QMessageBox::Yes | QMessageBox::No, owner_);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Modeless like the boxes: the answer is checked against what holds
    // when it comes.
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [box, yes = std::move(yes)](QAbstractButton* button) {
                         if (box->standardButton(button) == QMessageBox::Yes) {
                             yes();
                         }
                     });
    box->show();
}

namespace {

QFileDialog* fileDialog(QWidget* owner, const QString& title, const QString& filter,
                        std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(owner, title, QString(), filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::NonModal);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, std::move(chosen));
    return dialog;
}

} // namespace

void MessageBoxes::chooseFileToOpen(const QString& title, const QString& filter,
                                    std::function<void(const QString&)> chosen) {
    QFileDialog* dialog = fileDialog(owner_, title, filter, std::move(chosen));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->show();
}

void MessageBoxes::chooseFileToSave(const QString& title, const QString& suggestedName,
                                    const QString& filter,
                                    std::function<void(const QString&)> chosen) {
    QFileDialog* dialog = fileDialog(owner_, title, filter, std::move(chosen));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->selectFile(suggestedName);
    dialog->show();
}
