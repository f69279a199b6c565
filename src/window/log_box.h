#pragma once

#include <QByteArray>
#include <QPlainTextEdit>

// The measurement log box. The whole log, with the CR LF line ends of the
// record files, is kept compactly beside the editor; the editor shows the
// newest lines only, since a text document spends close to a kilobyte on
// every line and a day's log has 86,400 of them. The box is read-only: what
// it shows is a record of measurements, saved as it was taken. Text is
// appended at the end, never re-set whole, so a log of days stays cheap to
// extend.
class LogBox : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kShownLines = 5000;

    explicit LogBox(const QString& text, QWidget* parent = nullptr);

    QString text() const;
    // The same, as it is kept: shared, not copied.
    QByteArray utf8() const { return log_; }
    void setText(const QString& text);
    // Appends at the end and leaves the caret there, the newest line in view.
    void appendText(const QString& text);

private:
    void moveCaretToEnd();

    QByteArray log_; // UTF-8
};
