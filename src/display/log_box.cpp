#include "display/log_box.h"

#include <QScrollBar>
#include <QTextCursor>

namespace {

QString toEditorText(QString text) {
    return text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

LogBox::LogBox(const QString& text, QWidget* parent) : QPlainTextEdit(parent) {
    setText(text);
}

QString LogBox::text() const {
    return toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

void LogBox::setText(const QString& text) {
    setPlainText(toEditorText(text));
}

void LogBox::appendText(const QString& text) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(toEditorText(text));
}

void LogBox::moveCaretToEnd() {
    moveCursor(QTextCursor::End);
    ensureCursorVisible();
}
