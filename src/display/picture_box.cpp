#include "display/picture_box.h"

#include <QPainter>
#include <QResizeEvent>

// A dark background lets the white grid, the green voltage trace and the red
// current trace all stand out.
PictureBox::PictureBox(QWidget* parent)
    : QWidget(parent), foreColor_(Qt::white), backColor_(0, 0, 64) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::clearDrawing() {
    image_.fill(backColor_);
    update();
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QImage resized(event->size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    resized.fill(backColor_);
    QPainter painter(&resized);
    painter.drawImage(0, 0, image_);
    image_ = resized;
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}
