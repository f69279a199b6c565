#pragma once

#include "platform/dialogs.h"

#include <QPointer>
#include <QVector>

class QMessageBox;
class QWidget;

// Modeless boxes with one OK button and no icon, kept above the window and
// opened without a nested event loop: the caller goes on at once, the timers
// keep ticking and every control still takes clicks while a box waits. A box whose text and title
// equal those of a box still open is not opened again. Questions and file
// choosers open the same way.
class MessageBoxes : public Dialogs {
public:
    explicit MessageBoxes(QWidget* owner = nullptr);
    ~MessageBoxes() override;

    void setOwner(QWidget* owner) { owner_ = owner; }
    void message(const QString& text, const QString& title) override;
    void closeMessage(const QString& text, const QString& title) override;
    void ask(const QString& text, const QString& title, std::function<void()> yes) override;
    void chooseFileToOpen(const QString& title, const QString& filter,
                          std::function<void(const QString&)> chosen) override;
    void chooseFileToSave(const QString& title, const QString& suggestedName, const QString& filter,
                          std::function<void(const QString&)> chosen) override;

private:
    // The box still open with this text and title as shown, or none.
    QMessageBox* openBox(const QString& text, const QString& title);

    QPointer<QWidget> owner_;
    QVector<QPointer<QMessageBox>> open_;
};
