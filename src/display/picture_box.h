#pragma once

#include <QColor>
#include <QImage>
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
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QColor foreColor_;
    QColor backColor_;
    QImage image_;
};
