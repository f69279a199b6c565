#pragma once

#include <QString>

// Message boxes with one OK button. Showing one never blocks the caller:
// the timers keep running while it waits for its OK.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual void message(const QString& text, const QString& title) = 0;
};
