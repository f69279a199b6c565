#pragma once

#include <QRect>
#include <QSize>

// The screen the window lives on, in the units the layout works with.
class Screen {
public:
    virtual ~Screen() = default;
    virtual QSize sizeInPixels() const = 0;
    // 1440 / logical DPI: 15 at 96 DPI.
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;
    // The part of the screen a maximized window may cover.
    virtual QRect availableGeometry() const = 0;
};
