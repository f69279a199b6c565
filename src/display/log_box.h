#pragma once

#include <QPlainTextEdit>

// The measurement log box. Its text uses CR LF line ends as the record files
// do; the editor itself keeps lines as blocks, so the ends are translated at
// the edge. Text is appended at the end, never re-set whole, so a log of
// days stays cheap to extend.
class LogBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogBox(const QString& text, QWidget* parent = nullptr);

    QString text() const;
    void setText(const QString& text);
    void appendText(const QString& text);
    // Puts the caret at the end so the newest line is in view.
    void moveCaretToEnd();
};
