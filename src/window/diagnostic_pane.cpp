#include "window/diagnostic_pane.h"

#include <QPainter>

DiagnosticPane::DiagnosticPane(QWidget* parent) : QWidget(parent) {}

void DiagnosticPane::printLine(const QString& line) {
    lines_.push_back(line.left(kMaxLineLength));
    while (lines_.size() > static_cast<std::size_t>(kMaxLines)) {
        lines_.pop_front();
    }
    update();
}

void DiagnosticPane::clear() {
    lines_.clear();
    update();
}

QStringList DiagnosticPane::lines() const {
    return QStringList(lines_.begin(), lines_.end());
}

void DiagnosticPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const int lineHeight = fontMetrics().height();
    const int visible = height() / qMax(1, lineHeight);
    const int first = qMax(0, static_cast<int>(lines_.size()) - visible);
    int y = fontMetrics().ascent();
    for (std::size_t i = static_cast<std::size_t>(first); i < lines_.size(); ++i) {
        painter.drawText(0, y, lines_[i]);
        y += lineHeight;
    }
}
