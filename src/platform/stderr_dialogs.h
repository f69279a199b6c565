#pragma once

#include "platform/dialogs.h"

// Where boxes go when there is no window: each message is one paragraph on
// standard error, so a service's journal keeps it. Nobody is there to
// answer a question or pick a file, so neither ever gets an answer.
class StderrDialogs : public Dialogs {
public:
    void message(const QString& text, const QString& title) override;
    void closeMessage(const QString&, const QString&) override {}
    void ask(const QString&, const QString&, std::function<void()>) override {}
    void chooseFileToOpen(const QString&, const QString&,
                          std::function<void(const QString&)>) override {}
    void chooseFileToSave(const QString&, const QString&, const QString&,
                          std::function<void(const QString&)>) override {}
};
