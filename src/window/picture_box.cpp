#include "window/picture_box.h"

#include <QPainter>
#include <QPen>
#include <QResizeEvent>

// A dark background lets the white grid, the green voltage trace and the red
// current trace all stand out.
PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent), foreColor_(Qt::white), backColor_(0, 0, 64) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::clearDrawing() {
    surface().fill(backColor_);
    update();
}

// The image follows the widget's size, keeping what was drawn. Hidden widgets
// get their resize events late, so drawing asks for the surface itself.
QImage& PictureBox::surface() {
    const QSize wanted = size().expandedTo(QSize(1, 1));
    if (image_.size() != wanted) {
        QImage resized(wanted, QImage::Format_RGB32);
        resized.fill(backColor_);
        QPainter painter(&resized);
        painter.drawImage(0, 0, image_);
        image_ = resized;
    }
    return image_;
}

void PictureBox::resizeEvent(QResizeEvent*) {
    surface();
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, surface());
}

void PictureBox::setTwipsPerPixel(double x, double y) {
    twipsPerPixelX_ = x;
    twipsPerPixelY_ = y;
}

// Every drawing call rounds to whole pixels the same way, so a level line and
// an edge that meets it at the same height land on the same pixel row.
QPoint PictureBox::toPixels(QPointF twips) const {
    return {qRound(twips.x() / twipsPerPixelX_), qRound(twips.y() / twipsPerPixelY_)};
}

void PictureBox::drawLine(QPointF from, QPointF to, const QColor& colour, Qt::PenStyle style) {
    QPainter painter(&surface());
    painter.setPen(QPen(colour, 1, style));
    painter.drawLine(toPixels(from), toPixels(to));
    update();
}

void PictureBox::drawText(QPointF topLeft, const QString& text) {
    QPainter painter(&surface());
    painter.setPen(foreColor_);
    painter.setFont(font());
    const QPoint at = toPixels(topLeft);
    painter.drawText(QPoint(at.x(), at.y() + painter.fontMetrics().ascent()), text);
    update();
}
