#pragma once

#include <QString>

#include <functional>

// Message boxes, questions and file choosers. Showing one never blocks the
// caller: the timers keep running while it waits for the operator, and the
// answer comes later, through the function given.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A box with one OK button.
    virtual void message(const QString& text, const QString& title) = 0;
    // Closes the box with this text and title if it is still open: a notice
    // whose cause has gone away no longer asks for the operator's OK.
    virtual void closeMessage(const QString& text, const QString& title) = 0;
    // A yes-or-no question; `yes` runs only when the operator says yes.
    virtual void ask(const QString& text, const QString& title, std::function<void()> yes) = 0;
    // Asks for an existing file to read, or a file to write (offering
    // `suggestedName`); `chosen` gets its path, and never runs when the
    // operator cancels. `filter` is a file-type filter such as
    // "CSV (*.csv)".
    virtual void chooseFileToOpen(const QString& title, const QString& filter,
                                  std::function<void(const QString&)> chosen) = 0;
    virtual void chooseFileToSave(const QString& title, const QString& suggestedName,
                                  const QString& filter,
                                  std::function<void(const QString&)> chosen) = 0;
};
