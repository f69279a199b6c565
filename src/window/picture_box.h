#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QWidget>

// A drawing surface whose drawing stays until it is cleared, as the chart
// pictures of the window design are. Drawing happens into an image; painting
// only copies it to the screen.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    QColor foreColor() const { return foreColor_; }
    void setForeColor(const QColor& colour) { foreColor_ = colour; }
    QColor backColor() const { return backColor_; }
    // Erases all drawing.
    void clearDrawing();
    // Drawing coordinates are twips from the top-left corner.
    void setTwipsPerPixel(double x, double y);
    void drawLine(QPointF from, QPointF to, const QColor& colour, Qt::PenStyle style);
    // Text in the picture's font and foreground colour, its top-left at the point.
    void drawText(QPointF topLeft, const QString& text);
    const QImage& image() { return surface(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor foreColor_;
    QColor backColor_;
    QPoint toPixels(QPointF twips) const;
    QImage& surface();

    QImage image_;
    double twipsPerPixelX_ = 15.0;
    double twipsPerPixelY_ = 15.0;
};
