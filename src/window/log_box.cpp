#include "window/log_box.h"

#include <QTextCursor>

namespace {

QString toEditorText(QString text) {
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

LogBox::LogBox(const QString& text, QWidget* parent) : QPlainTextEdit(parent) {
    // A day's log would otherwise be kept again as undo steps.
    setUndoRedoEnabled(false);
    setReadOnly(true);
    setMaximumBlockCount(kShownLines);
    // Long lines wrap: the box has a vertical scroll bar only.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setText(text);
}

QString LogBox::text() const {
    return QString::fromUtf8(log_);
}

void LogBox::setText(const QString& text) {
    log_ = text.toUtf8();
    setPlainText(toEditorText(text));
}

void LogBox::appendText(const QString& text) {
    log_ += text.toUtf8();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(toEditorText(text));
    moveCaretToEnd();
}

void LogBox::moveCaretToEnd() {
    moveCursor(QTextCursor::End);
    ensureCursorVisible();
}
